// The enhanced metafile player's state: besides what both players keep, the
// path being built and the world transform. Its records are played in
// platform/metafile_emf_play.cpp, its paths built in metafile_emf_path.cpp.
#pragma once

#include "platform/metafile_play.h"

#include <QTransform>

namespace gdi::mf {

struct EmfPlayer : PlayerState {
    // The figures drawn between a path's begin and end records, in device
    // pixels; outside a path, curves are built here and stroked at once.
    bool in_path = false;
    bool figure_open = false;
    QPainterPath path;
    bool path_too_long = false; // the path passed the limit: it draws nothing
    double miter = 10;

    // The world transform, applied before the page mapping: kept in the
    // context's placement transform (after the page mapping) as
    // page^-1 * world * page * placement, renewed after every record once the
    // picture has used one.
    QTransform placement;
    QTransform world;
    bool world_used = false;
    std::vector<QTransform> world_saved;

    HGDIOBJ get(std::uint32_t ih) const {
        if (ih & emf_stock_bit) return stock(static_cast<int>(ih & ~emf_stock_bit));
        return objects.get(ih);
    }
    // A bitmap whose header and colours, then bits, may lie apart in the record.
    QImage dib(const ERec& r, std::size_t off_bmi, std::size_t cb_bmi, std::size_t off_bits,
               std::size_t cb_bits);
    // `n` points from byte `at`: 32-bit pairs, or 16-bit pairs when `small`.
    static std::vector<POINT> points(const ERec& r, std::size_t at, std::size_t n, bool small) {
        return read_points(r.p + at, at <= r.size ? r.size - at : 0, n, small);
    }
    // The points of a poly record (after its bounds and count).
    static std::vector<POINT> poly_points(const ERec& r) {
        return points(r, 28, r.u(24), is_small_points(r.type));
    }
    // The points of a poly-polygon or poly-polyline record, and in `counts`
    // the points of each figure.
    static std::vector<POINT> polys_points(const ERec& r, std::vector<int>& counts);

    // --- paths (metafile_emf_path.cpp)
    QPointF dev(const POINT& p) const;
    POINT cur() const;
    void set_cur(const POINT& p);
    bool room(int n); // room in the path for `n` more elements; past the limit it is dropped
    void new_path();
    void move_to(const POINT& p);
    void start_figure();
    void line_to(const POINT& p);
    void bezier_to(const POINT* p3);
    void close_figure();
    void add_logical(const QPainterPath& logical);
    bool add_to_path(const ERec& r);
    void add_points(DWORD type, const std::vector<POINT>& pts, const BYTE* kinds);
    void draw_path(QPainterPath p, bool stroke, bool fill);
    void record_path(const QPainterPath& p, bool stroke, bool fill);
    void widen_path();
    void clip_to_path(int mode);

    // --- records (metafile_emf_play.cpp)
    void select_clip(HRGN region, int mode, const QTransform& region_to_device);
    void apply_world();
    void play(const ERec& r);
    void modify_world(const ERec& r);
    void play_text(const ERec& r);
    void play_clip_region(const ERec& r);
    void play_transfer(const ERec& r);
    void create(const ERec& r);
};

// The path with each open figure closed (filling closes them).
QPainterPath closed_figures(const QPainterPath& in);

} // namespace gdi::mf
