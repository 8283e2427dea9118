#include "platform/foundation/geometry.h"

#include <algorithm>
#include <limits>

namespace qrn {

Rect Rect::standardized() const {
    return Rect(minX(), minY(), width(), height());
}

bool Rect::contains(Point p) const {
    return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
}

bool Rect::contains(const Rect& r) const {
    return r.minX() >= minX() && r.maxX() <= maxX() && r.minY() >= minY() && r.maxY() <= maxY();
}

bool Rect::intersects(const Rect& r) const {
    return !intersection(r).isEmpty();
}

Rect Rect::intersection(const Rect& r) const {
    double x0 = std::max(minX(), r.minX()), x1 = std::min(maxX(), r.maxX());
    double y0 = std::max(minY(), r.minY()), y1 = std::min(maxY(), r.maxY());
    if (x1 <= x0 || y1 <= y0)
        return Rect();
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

Rect Rect::united(const Rect& r) const {
    if (r.isEmpty())
        return standardized();
    if (isEmpty())
        return r.standardized();
    double x0 = std::min(minX(), r.minX()), x1 = std::max(maxX(), r.maxX());
    double y0 = std::min(minY(), r.minY()), y1 = std::max(maxY(), r.maxY());
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

Rect Rect::insetBy(double dx, double dy) const {
    Rect s = standardized();
    return Rect(s.origin.x + dx, s.origin.y + dy, s.size.width - 2 * dx, s.size.height - 2 * dy);
}

Rect Rect::inset(const EdgeInsets& e) const {
    Rect s = standardized();
    return Rect(s.origin.x + e.left, s.origin.y + e.bottom, s.size.width - e.left - e.right,
                s.size.height - e.top - e.bottom);
}

Rect Rect::offsetBy(double dx, double dy) const {
    return Rect(origin.x + dx, origin.y + dy, size.width, size.height);
}

Rect Rect::integral() const {
    double x0 = std::floor(minX()), y0 = std::floor(minY());
    double x1 = std::ceil(maxX()), y1 = std::ceil(maxY());
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

AffineTransform AffineTransform::rotation(double radians) {
    // Every view places its layer with a rotation, nearly always none: the same values as below
    // without the sine and cosine.
    if (radians == 0)
        return {1, 0, -0.0, 1, 0, 0};
    double c = std::cos(radians), s = std::sin(radians);
    return {c, s, -s, c, 0, 0};
}

bool AffineTransform::approxEquals(const AffineTransform& o, double eps) const {
    return std::abs(a - o.a) < eps && std::abs(b - o.b) < eps && std::abs(c - o.c) < eps &&
           std::abs(d - o.d) < eps && std::abs(tx - o.tx) < eps && std::abs(ty - o.ty) < eps;
}

AffineTransform AffineTransform::concat(const AffineTransform& t) const {
    return {a * t.a + b * t.c, a * t.b + b * t.d,          c * t.a + d * t.c,
            c * t.b + d * t.d, tx * t.a + ty * t.c + t.tx, tx * t.b + ty * t.d + t.ty};
}

std::optional<AffineTransform> AffineTransform::inverted() const {
    double det = determinant();
    if (std::abs(det) < 1e-300)
        return std::nullopt;
    double ia = d / det, ib = -b / det, ic = -c / det, id = a / det;
    return AffineTransform{ia, ib, ic, id, -(ia * tx + ic * ty), -(ib * tx + id * ty)};
}

Rect AffineTransform::mapRect(const Rect& r) const {
    Rect s = r.standardized();
    Point pts[4] = {map({s.minX(), s.minY()}), map({s.maxX(), s.minY()}), map({s.maxX(), s.maxY()}),
                    map({s.minX(), s.maxY()})};
    double x0 = pts[0].x, x1 = pts[0].x, y0 = pts[0].y, y1 = pts[0].y;
    for (auto& p : pts) {
        x0 = std::min(x0, p.x), x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
    }
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

Path Path::rect(const Rect& r) {
    Path p;
    p.addRect(r);
    return p;
}

void Path::moveTo(Point p) {
    subpaths_.push_back({p});
}

void Path::lineTo(Point p) {
    if (subpaths_.empty())
        subpaths_.push_back({});
    subpaths_.back().push_back(p);
}

void Path::close() {
    // Polygons are implicitly closed; an explicit close starts nothing new.
}

void Path::addRect(const Rect& r) {
    Rect s = r.standardized();
    addPolygon({{s.minX(), s.minY()}, {s.maxX(), s.minY()}, {s.maxX(), s.maxY()}, {s.minX(), s.maxY()}});
}

void Path::addPolygon(const std::vector<Point>& points) {
    if (!points.empty())
        subpaths_.push_back(points);
}

bool Path::isEmpty() const {
    return std::all_of(subpaths_.begin(), subpaths_.end(), [](auto& s) { return s.size() < 3; });
}

bool Path::contains(Point p) const {
    int winding = 0;
    for (const auto& poly : subpaths_) {
        size_t n = poly.size();
        if (n < 3)
            continue;
        for (size_t i = 0; i < n; ++i) {
            Point a = poly[i], b = poly[(i + 1) % n];
            double cross = (b.x - a.x) * (p.y - a.y) - (p.x - a.x) * (b.y - a.y);
            if (a.y <= p.y) {
                if (b.y > p.y && cross > 0)
                    ++winding;
            } else if (b.y <= p.y && cross < 0) {
                --winding;
            }
        }
    }
    return winding != 0;
}

Rect Path::boundingBox() const {
    double inf = std::numeric_limits<double>::infinity();
    double x0 = inf, y0 = inf, x1 = -inf, y1 = -inf;
    for (const auto& poly : subpaths_)
        for (const auto& p : poly) {
            x0 = std::min(x0, p.x), x1 = std::max(x1, p.x);
            y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
        }
    if (x0 > x1)
        return Rect();
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

Path Path::transformed(const AffineTransform& t) const {
    Path out;
    for (const auto& poly : subpaths_) {
        std::vector<Point> q;
        q.reserve(poly.size());
        for (const auto& p : poly)
            q.push_back(t.map(p));
        out.subpaths_.push_back(std::move(q));
    }
    return out;
}

} // namespace qrn
