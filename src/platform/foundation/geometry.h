#pragma once
// Plane geometry in the view convention: origin bottom-left, y up (unless a view is flipped).
#include <cmath>
#include <optional>
#include <vector>

namespace qrn {

struct Point {
    double x = 0, y = 0;
    friend bool operator==(const Point&, const Point&) = default;
    Point operator+(const Point& o) const { return {x + o.x, y + o.y}; }
    Point operator-(const Point& o) const { return {x - o.x, y - o.y}; }
};

struct Size {
    double width = 0, height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct EdgeInsets {
    double top = 0, left = 0, bottom = 0, right = 0;
};

struct Rect {
    Point origin;
    Size size;

    Rect() = default;
    Rect(Point o, Size s) : origin(o), size(s) {}
    Rect(double x, double y, double w, double h) : origin{x, y}, size{w, h} {}
    friend bool operator==(const Rect&, const Rect&) = default;

    // A rectangle with a negative size is treated as its normalised equivalent.
    Rect standardized() const;
    double minX() const { return std::min(origin.x, origin.x + size.width); }
    double maxX() const { return std::max(origin.x, origin.x + size.width); }
    double minY() const { return std::min(origin.y, origin.y + size.height); }
    double maxY() const { return std::max(origin.y, origin.y + size.height); }
    double midX() const { return (minX() + maxX()) / 2; }
    double midY() const { return (minY() + maxY()) / 2; }
    double width() const { return std::abs(size.width); }
    double height() const { return std::abs(size.height); }
    Point center() const { return {midX(), midY()}; }
    bool isEmpty() const { return size.width == 0 || size.height == 0; }
    // Half-open on the max edges, like hit testing expects.
    bool contains(Point p) const;
    bool contains(const Rect& r) const;
    bool intersects(const Rect& r) const;
    // Empty (all zero) when the two do not overlap.
    Rect intersection(const Rect& r) const;
    // The union ignores empty rectangles.
    Rect united(const Rect& r) const;
    // Positive insets shrink the rectangle.
    Rect insetBy(double dx, double dy) const;
    Rect inset(const EdgeInsets& e) const;
    Rect offsetBy(double dx, double dy) const;
    Rect integral() const;
};

// Affine transform: p' = (a x + c y + tx, b x + d y + ty).
struct AffineTransform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    static AffineTransform identity() { return {}; }
    static AffineTransform translation(double x, double y) { return {1, 0, 0, 1, x, y}; }
    static AffineTransform scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    // Counter-clockwise in a y-up space, angle in radians.
    static AffineTransform rotation(double radians);

    friend bool operator==(const AffineTransform&, const AffineTransform&) = default;
    bool isIdentity() const { return *this == AffineTransform{}; }
    bool approxEquals(const AffineTransform& o, double eps = 1e-9) const;

    // The result applies this transform first, then `t`.
    AffineTransform concat(const AffineTransform& t) const;
    // Build-up helpers: the new operation is applied before this transform (it acts in the
    // transform's local space), matching how a layer's transform is usually composed.
    AffineTransform translated(double x, double y) const { return translation(x, y).concat(*this); }
    AffineTransform rotated(double radians) const { return rotation(radians).concat(*this); }
    AffineTransform scaled(double sx, double sy) const { return scale(sx, sy).concat(*this); }
    double determinant() const { return a * d - b * c; }
    // Singular transforms have no inverse.
    std::optional<AffineTransform> inverted() const;

    Point map(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
    Size mapSize(Size s) const { return {a * s.width + c * s.height, b * s.width + d * s.height}; }
    // Bounding box of the mapped corners.
    Rect mapRect(const Rect& r) const;
};

// A closed polygon (or several) with nonzero-winding containment.
class Path {
  public:
    Path() = default;
    static Path rect(const Rect& r);
    void moveTo(Point p);
    void lineTo(Point p);
    void close();
    void addRect(const Rect& r);
    void addPolygon(const std::vector<Point>& points);

    bool isEmpty() const;
    bool contains(Point p) const;
    Rect boundingBox() const;
    Path transformed(const AffineTransform& t) const;
    const std::vector<std::vector<Point>>& subpaths() const { return subpaths_; }
    friend bool operator==(const Path&, const Path&) = default;

  private:
    std::vector<std::vector<Point>> subpaths_;
};

} // namespace qrn
