// The common body of the 3D elements that own a list of other elements
// (faces of a ribbon or a solid, solids of a group): the owned list, 1-based,
// the bounding boxes in world, transformed and projected space, and the
// translation and scaling applied so far, so that a member added late is
// brought to where the earlier ones are.
#pragma once

#include "chart/element.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace chart {

template <class T> class member_list {
public:
    member_list() = default;
    member_list(const member_list&) = delete;
    member_list& operator=(const member_list&) = delete;
    ~member_list() { delete_all(); }

    int count() const { return count_; }
    T* get(int i) const { return i >= 1 && i <= count_ ? items_.Get(i) : nullptr; }

    // Stores `m` (owned), brings it to the accumulated scale and offset
    // (scaling first) and widens the world and transformed boxes by it, an
    // equal bound leaving the entry as it was. A member past the array's
    // limit is deleted and null answered: the list owns what it is given.
    T* add(T* m) {
        if (!m) return nullptr;
        if (count_ + 1 > CChartPtrArray<T>::kMaxIndex) {
            delete m;
            return nullptr;
        }
        items_.At(++count_) = m;
        m->Scale(scale[0], scale[1], scale[2]);
        m->Translate(offset[0], offset[1], offset[2]);
        const double wv[6] = {m->GetWorldMaxX(), m->GetWorldMinX(), m->GetWorldMaxY(),
                              m->GetWorldMinY(), m->GetWorldMaxZ(), m->GetWorldMinZ()};
        const double tv[6] = {m->GetTransformedMaxX(), m->GetTransformedMinX(),
                              m->GetTransformedMaxY(), m->GetTransformedMinY(),
                              m->GetTransformedMaxZ(), m->GetTransformedMinZ()};
        for (int k = 0; k < 6; ++k) {
            const bool is_max = k % 2 == 0;
            if (count_ == 1 || (is_max ? wv[k] > world[k] : wv[k] < world[k])) world[k] = wv[k];
            if (count_ == 1 || (is_max ? tv[k] > transformed[k] : tv[k] < transformed[k]))
                transformed[k] = tv[k];
        }
        return m;
    }

    // Rebuilds the projected box from the members' projected bounds (member
    // 1's, then widened strictly); without members it stays as it was.
    void fold_projected() {
        if (count_ < 1) return;
        const T* f = items_.Get(1);
        double* p = projected;
        p[0] = f->GetProjectedMaxX();
        p[1] = f->GetProjectedMinX();
        p[3] = f->GetProjectedMaxY();
        p[4] = f->GetProjectedMinY();
        p[6] = f->GetProjectedMaxZ();
        p[7] = f->GetProjectedMinZ();
        for (int i = 2; i <= count_; ++i) {
            f = items_.Get(i);
            if (f->GetProjectedMaxX() > p[0]) p[0] = f->GetProjectedMaxX();
            if (f->GetProjectedMinX() < p[1]) p[1] = f->GetProjectedMinX();
            if (f->GetProjectedMaxY() > p[3]) p[3] = f->GetProjectedMaxY();
            if (f->GetProjectedMinY() < p[4]) p[4] = f->GetProjectedMinY();
            if (f->GetProjectedMaxZ() > p[6]) p[6] = f->GetProjectedMaxZ();
            if (f->GetProjectedMinZ() < p[7]) p[7] = f->GetProjectedMinZ();
        }
        for (int a = 0; a < 3; ++a) p[3 * a + 2] = (p[3 * a] - p[3 * a + 1]) * 0.5 + p[3 * a + 1];
    }

    // Scales every member and multiplies the scale and the transformed box
    // per axis. The owner brackets this with its own translations by minus
    // and plus the offset, so that scaling happens about the offset.
    void scale_members(double sx, double sy, double sz) {
        for (int i = 1; i <= count_; ++i) items_.Get(i)->Scale(sx, sy, sz);
        const double s[3] = {sx, sy, sz};
        for (int a = 0; a < 3; ++a) {
            scale[a] *= s[a];
            transformed[2 * a] *= s[a];
            transformed[2 * a + 1] *= s[a];
        }
    }

    void translate_members(double dx, double dy, double dz) {
        for (int i = 1; i <= count_; ++i) items_.Get(i)->Translate(dx, dy, dz);
        const double d[3] = {dx, dy, dz};
        for (int a = 0; a < 3; ++a) {
            offset[a] += d[a];
            transformed[2 * a] += d[a];
            transformed[2 * a + 1] += d[a];
        }
    }

    template <class F> void for_each(F f) const {
        for (int i = 1; i <= count_; ++i) f(items_.Get(i));
    }

    // Orders the members as passes of neighbour exchanges would, exchanging
    // a and b when `before(b, a)`: a stable sort gives the same order. The
    // comparison must be a strict weak order (the callers map NaN keys to
    // minus infinity).
    template <class Before> void stable_order(Before before) {
        if (count_ < 2) return;
        std::vector<T*> v;
        v.reserve(static_cast<std::size_t>(count_));
        for (int i = 1; i <= count_; ++i) v.push_back(items_.Get(i));
        std::stable_sort(v.begin(), v.end(), before);
        for (int i = 1; i <= count_; ++i) items_.At(i) = v[static_cast<std::size_t>(i - 1)];
    }

    // Passes over every pair i < j, exchanging them when `must_follow(i's
    // member, j's member)`, until a pass exchanges nothing or after as many
    // passes as there are members: where the test is not a strict order
    // (faces overlapping in a cycle) the exchanges would never end. Answers
    // the passes run.
    template <class MustFollow> int pairwise_order(MustFollow must_follow) {
        int passes = 0;
        if (count_ < 2) return passes;
        for (int pass = 0; pass < count_; ++pass) {
            ++passes;
            bool swapped = false;
            for (int i = 1; i < count_; ++i)
                for (int j = i + 1; j <= count_; ++j) {
                    T*& a = items_.At(i);
                    T*& b = items_.At(j);
                    if (must_follow(*a, *b)) {
                        std::swap(a, b);
                        swapped = true;
                    }
                }
            if (!swapped) break;
        }
        return passes;
    }

    // Forgets the members and zeroes the transformed box; the world and
    // projected boxes, offset and scale stay. The forgotten members are
    // kept aside and deleted with the list, so none is lost or leaked.
    void forget() {
        for (int i = 1; i <= count_; ++i) forgotten_.push_back(items_.Get(i));
        count_ = 0;
        std::fill(std::begin(transformed), std::end(transformed), 0.0);
    }

    void delete_all() {
        for (int i = 1; i <= count_; ++i) delete items_.Get(i);
        count_ = 0;
        for (T* m : forgotten_) delete m;
        forgotten_.clear();
    }

    // Max x, min x, max y, min y, max z, min z.
    double world[6] = {};
    double transformed[6] = {};
    double offset[3] = {};
    double scale[3] = {1.0, 1.0, 1.0};
    // Max, min and mid of x, then of y, then of z.
    double projected[9] = {};

private:
    CChartPtrArray<T> items_;
    int count_ = 0;
    std::vector<T*> forgotten_;
};

// Calls `add` with the four corners of each of the six faces of the block
// x1..x2, y1..y2, z1..z2, in the order y = y1, z = z1, x = x1, x = x2,
// z = z2, y = y2, each wound alike seen from outside (the back-face test
// relies on the winding).
template <class AddFace>
void for_box_faces(double x1, double x2, double y1, double y2, double z1, double z2, AddFace add) {
    const double q[6][4][3] = {
        {{x1, y1, z2}, {x1, y1, z1}, {x2, y1, z1}, {x2, y1, z2}},
        {{x1, y1, z1}, {x1, y2, z1}, {x2, y2, z1}, {x2, y1, z1}},
        {{x1, y1, z2}, {x1, y2, z2}, {x1, y2, z1}, {x1, y1, z1}},
        {{x2, y1, z1}, {x2, y2, z1}, {x2, y2, z2}, {x2, y1, z2}},
        {{x2, y1, z2}, {x2, y2, z2}, {x1, y2, z2}, {x1, y1, z2}},
        {{x2, y2, z1}, {x1, y2, z1}, {x1, y2, z2}, {x2, y2, z2}},
    };
    for (const auto& face : q) add(face);
}

// Puts a shared style's pen colour back on every way out of a draw.
class pen_colour_keeper {
public:
    explicit pen_colour_keeper(CChartStyle* s) : s_(s), colour_(s->GetPenColor()) {}
    pen_colour_keeper(const pen_colour_keeper&) = delete;
    pen_colour_keeper& operator=(const pen_colour_keeper&) = delete;
    ~pen_colour_keeper() { s_->SetPenColor(colour_); }

private:
    CChartStyle* s_;
    CChartColor colour_;
};

// Objects made in chunks of `N`, at fixed addresses until `clear`, which
// destroys them all: a set of many copies costs an allocation per chunk
// rather than one per object.
template <class T, std::size_t N = 256> class chunk_pool {
public:
    chunk_pool() = default;
    chunk_pool(const chunk_pool&) = delete;
    chunk_pool& operator=(const chunk_pool&) = delete;
    ~chunk_pool() { clear(); }

    template <class... Args> T* make(Args&&... args) {
        if (used_ == N * chunks_.size()) chunks_.emplace_back(new Slot[N]);
        T* at = reinterpret_cast<T*>(&chunks_[used_ / N][used_ % N]);
        ::new (static_cast<void*>(at)) T(std::forward<Args>(args)...);
        ++used_;
        return at;
    }
    void clear() {
        for (std::size_t i = 0; i < used_; ++i)
            std::launder(reinterpret_cast<T*>(&chunks_[i / N][i % N]))->~T();
        used_ = 0;
        chunks_.clear();
    }

private:
    struct Slot {
        alignas(T) unsigned char bytes[sizeof(T)];
    };
    std::vector<std::unique_ptr<Slot[]>> chunks_;
    std::size_t used_ = 0;
};

// A sort key with NaN first, so that ordering by it is strict.
inline double nan_first(double k) {
    return std::isnan(k) ? -std::numeric_limits<double>::infinity() : k;
}

// The element side of an owner of members (a ribbon's or solid's faces, a
// group's solids): the world and transformed boxes answered from the list,
// scaling about the accumulated offset, the switches
// passed on to every member, and the members drawn with the owner's pen and
// brush selected.
template <class T> class member_element : public CChartElement {
public:
    member_element() = default;
    explicit member_element(CChartStyle* s) : CChartElement(s) {}

    void Scale(double sx, double sy, double sz) override {
        const double ox = members_.offset[0], oy = members_.offset[1], oz = members_.offset[2];
        Translate(-ox, -oy, -oz);
        scale_parts(sx, sy, sz);
        Translate(ox, oy, oz);
    }
    void Translate(double dx, double dy, double dz) override {
        members_.translate_members(dx, dy, dz);
    }
    int SetFlagA(int v) override {
        flag_a = v;
        members_.for_each([v](T* m) { m->SetFlagA(v); });
        return v;
    }
    int SetFlagB(int v) override {
        flag_b = v;
        members_.for_each([v](T* m) { m->SetFlagB(v); });
        return v;
    }
    int SetFlagC(int v) override {
        flag_c = v;
        members_.for_each([v](T* m) { m->SetFlagC(v); });
        return v;
    }
    void Draw(CChartDC* dc) override { DrawBody(dc); }
    void DrawBody(CChartDC* dc) override { draw_members(dc); }

    double GetWorldMinX() const override { return members_.world[1]; }
    double GetWorldMaxX() const override { return members_.world[0]; }
    double GetWorldMinY() const override { return members_.world[3]; }
    double GetWorldMaxY() const override { return members_.world[2]; }
    double GetWorldMinZ() const override { return members_.world[5]; }
    double GetWorldMaxZ() const override { return members_.world[4]; }
    double GetTransformedMinX() const override { return members_.transformed[1]; }
    double GetTransformedMaxX() const override { return members_.transformed[0]; }
    double GetTransformedMinY() const override { return members_.transformed[3]; }
    double GetTransformedMaxY() const override { return members_.transformed[2]; }
    double GetTransformedMinZ() const override { return members_.transformed[5]; }
    double GetTransformedMaxZ() const override { return members_.transformed[4]; }

protected:
    // The scaling that `Scale` brackets with translations by minus and plus
    // the offset.
    virtual void scale_parts(double sx, double sy, double sz) {
        members_.scale_members(sx, sy, sz);
    }

    void draw_members(CChartDC* dc) {
        if (!dc) return;
        SelectPen(dc);
        SelectBrush(dc);
        members_.for_each([dc](T* m) { m->DrawBody(dc); });
        UnselectBrush(dc);
        UnselectPen(dc);
    }

    // Stores `m` (owned; null refused) with the owner's switches; it takes
    // the owner's style, or without one draws with the pen and brush the
    // owner selected.
    T* adopt(T* m) {
        if (!m) return nullptr;
        if (has_style && style) {
            m->SetStyle(style);
        } else {
            m->SetNoOutline(1);
            m->SetNoFill(1);
        }
        m->SetFlagA(flag_a);
        m->SetFlagB(flag_b);
        m->SetFlagC(flag_c);
        return members_.add(m);
    }

    // Ascending projected minimum z, equal keys in their order (NaN first).
    void order_by_depth() {
        members_.stable_order([](const T* a, const T* b) {
            return nan_first(a->GetProjectedMinZ()) < nan_first(b->GetProjectedMinZ());
        });
    }
    // The pairwise test of the members' own `MustFollow`; the passes run.
    int order_by_overlap() {
        return members_.pairwise_order([](const T& a, const T& b) { return a.MustFollow(b) != 0; });
    }

    member_list<T> members_;
};

// An owner of members that answers its projected box from them too (a
// ribbon keeps the element's answer and gives its box by other names).
template <class T> class projected_member_element : public member_element<T> {
public:
    using member_element<T>::member_element;
    double GetProjectedMinX() const override { return this->members_.projected[1]; }
    double GetProjectedMaxX() const override { return this->members_.projected[0]; }
    double GetProjectedMinY() const override { return this->members_.projected[4]; }
    double GetProjectedMaxY() const override { return this->members_.projected[3]; }
    double GetProjectedMinZ() const override { return this->members_.projected[7]; }
    double GetProjectedMaxZ() const override { return this->members_.projected[6]; }
};

} // namespace chart
