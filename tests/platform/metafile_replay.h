// A scene drawn straight onto a canvas and recorded into both metafile kinds,
// each played back onto a fresh canvas of the same kind (the enhanced one
// into the bounds it recorded): every picture passes the test's own check,
// and the played ones are the direct one pixel for pixel.
#pragma once

#include "platform/gdi.h"
#include "platform/metafile.h"

#include <gtest/gtest.h>

template <class Canvas, class Scene, class Check>
void expect_metafiles_replay(Scene&& scene, Check&& check) {
    Canvas direct;
    scene(direct.dc);
    {
        SCOPED_TRACE("drawn directly");
        check(direct);
    }

    HDC mdc = CreateMetaFile(nullptr);
    ASSERT_NE(mdc, nullptr);
    scene(mdc);
    HMETAFILE wmf = CloseMetaFile(mdc);
    ASSERT_NE(wmf, nullptr);
    Canvas wmf_played;
    EXPECT_TRUE(PlayMetaFile(wmf_played.dc, wmf));
    {
        SCOPED_TRACE("Windows metafile");
        check(wmf_played);
        EXPECT_EQ(wmf_played.img, direct.img);
    }
    DeleteMetaFile(wmf);

    HDC edc = CreateEnhMetaFile(nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(edc, nullptr);
    scene(edc);
    HENHMETAFILE emf = CloseEnhMetaFile(edc);
    ASSERT_NE(emf, nullptr);
    ENHMETAHEADER h{};
    EXPECT_NE(GetEnhMetaFileHeader(emf, sizeof h, &h), 0u);
    RECT r{h.rclBounds.left, h.rclBounds.top, h.rclBounds.right + 1, h.rclBounds.bottom + 1};
    Canvas emf_played;
    EXPECT_TRUE(PlayEnhMetaFile(emf_played.dc, emf, &r));
    {
        SCOPED_TRACE("enhanced metafile");
        check(emf_played);
        EXPECT_EQ(emf_played.img, direct.img);
    }
    DeleteEnhMetaFile(emf);
}
