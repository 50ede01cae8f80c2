#include "gltf/gltf.h"

#include <cmath>

namespace kestrun::gltf {

namespace {

using vec3 = std::array<double, 3>;

double dot(const vec3& a, const vec3& b)
{
	return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

vec3 cross(const vec3& a, const vec3& b)
{
	return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

vec3 minus_along(const vec3& v, const vec3& unit)
{
	const double d = dot(v, unit);
	return {v[0] - d * unit[0], v[1] - d * unit[1], v[2] - d * unit[2]};
}

// Lengths below this count as zero: no direction can be read from them.
constexpr double tiny = 1e-12;

// `v` scaled to unit length, or nothing when it is too short to have a
// direction.
std::optional<vec3> unit(const vec3& v)
{
	const double length = std::sqrt(dot(v, v));
	if (!(length > tiny))
		return std::nullopt;
	return vec3{v[0] / length, v[1] / length, v[2] / length};
}

// Any unit vector at right angles to the unit vector `a`.
vec3 perpendicular(const vec3& a)
{
	const vec3 axis = std::fabs(a[0]) < 0.9 ? vec3{1, 0, 0} : vec3{0, 1, 0};
	return *unit(cross(a, axis));
}

// An orthonormal right-handed basis (x, y, z) close to the columns: Gram-Schmidt
// in the order right, up, at, each missing direction made up from the others.
std::array<vec3, 3> orthonormal_basis(const std::array<vec3, 3>& c)
{
	std::optional<vec3> x = unit(c[0]);
	std::optional<vec3> y;
	if (x) {
		y = unit(minus_along(c[1], *x));
		if (!y) {
			// No usable up: take it from at, or any perpendicular.
			if (std::optional<vec3> z = unit(minus_along(c[2], *x)))
				y = cross(*z, *x);
			else
				y = perpendicular(*x);
		}
	} else if ((y = unit(c[1]))) {
		if (std::optional<vec3> z = unit(minus_along(c[2], *y)))
			x = cross(*y, *z);
		else
			x = perpendicular(*y);
	} else if (std::optional<vec3> z = unit(c[2])) {
		x = perpendicular(*z);
		y = cross(*z, *x);
	} else {
		return {vec3{1, 0, 0}, vec3{0, 1, 0}, vec3{0, 0, 1}};
	}
	return {*x, *y, cross(*x, *y)};
}

// The unit quaternion of a rotation matrix given by its columns, with w >= 0.
// The branch on the largest diagonal term keeps 180-degree turns (trace -1)
// exact.
std::array<double, 4> quaternion_of(const std::array<vec3, 3>& m)
{
	// m[column][row]
	const double xx = m[0][0], yy = m[1][1], zz = m[2][2];
	const double trace = xx + yy + zz;
	std::array<double, 4> q; // x, y, z, w
	if (trace > 0) {
		const double s = 2 * std::sqrt(trace + 1);
		q = {(m[1][2] - m[2][1]) / s, (m[2][0] - m[0][2]) / s, (m[0][1] - m[1][0]) / s, s / 4};
	} else if (xx >= yy && xx >= zz) {
		const double s = 2 * std::sqrt(1 + xx - yy - zz);
		q = {s / 4, (m[1][0] + m[0][1]) / s, (m[2][0] + m[0][2]) / s, (m[1][2] - m[2][1]) / s};
	} else if (yy >= zz) {
		const double s = 2 * std::sqrt(1 + yy - xx - zz);
		q = {(m[1][0] + m[0][1]) / s, s / 4, (m[2][1] + m[1][2]) / s, (m[2][0] - m[0][2]) / s};
	} else {
		const double s = 2 * std::sqrt(1 + zz - xx - yy);
		q = {(m[2][0] + m[0][2]) / s, (m[2][1] + m[1][2]) / s, s / 4, (m[0][1] - m[1][0]) / s};
	}
	const double length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
	const double sign = q[3] < 0 ? -1 : 1;
	for (double& v : q)
		v = v * sign / length;
	return q;
}

} // namespace

bool decompose_frame(const std::array<float, 9>& rotation, const std::array<float, 3>& position, Trs& trs)
{
	bool finite = true;
	trs = Trs{};
	for (int i = 0; i < 3; i++) {
		if (std::isfinite(position[i]))
			trs.translation[i] = position[i];
		else
			finite = false;
	}
	for (float v : rotation)
		if (!std::isfinite(v))
			return false; // identity rotation and scale
	std::array<vec3, 3> columns;
	for (int c = 0; c < 3; c++)
		columns[c] = {rotation[3 * c], rotation[3 * c + 1], rotation[3 * c + 2]};
	const std::array<vec3, 3> basis = orthonormal_basis(columns);
	for (int c = 0; c < 3; c++) {
		const double length = std::sqrt(dot(columns[c], columns[c]));
		trs.scale[c] = length > tiny ? length : 0;
	}
	// A mirroring matrix: the basis is right-handed, so the at vector points
	// against its z axis; a negative z scale keeps the mirror.
	if (dot(cross(columns[0], columns[1]), columns[2]) < 0)
		trs.scale[2] = -trs.scale[2];
	trs.rotation = quaternion_of(basis);
	return finite;
}

} // namespace kestrun::gltf
