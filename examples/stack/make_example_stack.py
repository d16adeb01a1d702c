#!/usr/bin/env python3
"""Writes the example stack: one reference pass and eleven repeat passes of an
L-band SAR satellite on a sun-synchronous orbit 691 km up (46-day repeat
cycle), over about two years, as earth-fixed state vectors and orbit files.

The passes are synthetic: a circular two-body orbit (closed form), each repeat
pass displaced from the reference orbit across the track (the orbit turned
about its along-track axis), in height (a slightly larger or smaller circle)
and in time. State-vector files hold the vector at a time a little off the
reference's (so they do not stand at the same place along the track, as real
vectors at fixed intervals do not); orbit files hold rows every 10 s on a
time-of-day scale whose rows do not fall on the pass time.

Run from this directory: python3 make_example_stack.py
"""
import datetime
import math

MU = 398600.4418            # km^3/s^2, earth's gravitational parameter
OMEGA = 7.292115854896798e-05  # rad/s, earth rotation rate
A_EQ = 6378.137             # km
ALTITUDE = 691.65           # km
INCLINATION = math.radians(98.16)
LATITUDE = math.radians(35.4)   # the scene's latitude, descending pass
RAAN = math.radians(-52.0)      # puts the scene near 36 N, 128 E
REPEAT_DAYS = 46
ROW_STEP = 10.0             # s between orbit rows
ROWS_EACH_SIDE = 6          # rows before and after the pass time

REFERENCE_DATE = datetime.date(2008, 6, 14)

# cycle (x 46 days from the reference), kind, cross-track offset (m),
# height offset (m), time offset of the state vector or time of day (s)
PASSES = [
    (-8, "sv", 415.0, 12.0, 0.0021),
    (-7, "orbit", 602.0, -18.0, 40123.37),
    (-5, "sv", -148.0, 6.0, -0.0035),
    (-4, "orbit", 84.0, 25.0, 40127.81),
    (-3, "sv", 297.0, -9.0, 0.0012),
    (-1, "orbit", -262.0, 14.0, 40119.05),
    (1, "sv", 151.0, -22.0, -0.0009),
    (2, "orbit", 518.0, 3.0, 40124.62),
    (3, "sv", -91.0, 17.0, 0.0041),
    (5, "orbit", 706.0, -11.0, 40121.48),
    (7, "sv", 238.0, 8.0, -0.0027),
]


def add(a, b): return [x + y for x, y in zip(a, b)]
def scale(a, s): return [x * s for x in a]
def dot(a, b): return sum(x * y for x, y in zip(a, b))
def norm(a): return math.sqrt(dot(a, a))
def cross(a, b):
    return [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]]


def rotate(v, axis, angle):
    """Rodrigues: v turned by angle about the unit axis."""
    c, s = math.cos(angle), math.sin(angle)
    return add(add(scale(v, c), scale(cross(axis, v), s)), scale(axis, dot(axis, v) * (1 - c)))


def nominal_state():
    """Inertial state (km, km/s) at the pass time t = 0 on the reference orbit."""
    r = A_EQ + ALTITUDE
    u = math.pi - math.asin(math.sin(LATITUDE) / math.sin(INCLINATION))  # descending
    node = [math.cos(RAAN), math.sin(RAAN), 0.0]
    normal = [math.sin(RAAN) * math.sin(INCLINATION), -math.cos(RAAN) * math.sin(INCLINATION),
              math.cos(INCLINATION)]
    in_plane = cross(normal, node)
    radial = add(scale(node, math.cos(u)), scale(in_plane, math.sin(u)))
    along = add(scale(node, -math.sin(u)), scale(in_plane, math.cos(u)))
    return scale(radial, r), scale(along, math.sqrt(MU / r))


def displaced_state(cross_m, height_m):
    """The reference state moved across the track and in height (still circular)."""
    r0, v0 = nominal_state()
    r = norm(r0) + height_m / 1000.0
    r1 = scale(r0, r / norm(r0))
    v1 = scale(v0, math.sqrt(MU / r) / norm(v0))
    along = scale(v1, 1.0 / norm(v1))
    angle = -(cross_m / 1000.0) / r   # right of the track (the look side) is positive
    return rotate(r1, along, angle), rotate(v1, along, angle)


def inertial_at(state, t):
    """Closed-form circular two-body motion from state at t = 0."""
    r0, v0 = state
    n = norm(v0) / norm(r0)
    r = add(scale(r0, math.cos(n * t)), scale(v0, math.sin(n * t) / n))
    v = add(scale(r0, -n * math.sin(n * t)), scale(v0, math.cos(n * t)))
    return r, v


def earth_fixed(r, v, t):
    """Inertial -> earth-fixed at time t after the pass (same earth angle every repeat)."""
    th = OMEGA * t
    c, s = math.cos(th), math.sin(th)
    rf = [c * r[0] + s * r[1], -s * r[0] + c * r[1], r[2]]
    vi = [v[0] + OMEGA * r[1], v[1] - OMEGA * r[0], v[2]]  # v - omega x r
    vf = [c * vi[0] + s * vi[1], -s * vi[0] + c * vi[1], vi[2]]
    return rf, vf


def state_vector_text(r, v):
    return "%.6f %.6f %.6f\n%.9f %.9f %.9f\n" % (*r, *v)


def write_state_vector(name, header, state, t):
    r, v = earth_fixed(*inertial_at(state, t), t)
    with open(name, "w") as f:
        f.write(header + "\n" + state_vector_text(r, v))


def write_orbit(name, header, state, pass_time_of_day):
    first = math.floor(pass_time_of_day / ROW_STEP) * ROW_STEP - (ROWS_EACH_SIDE - 1) * ROW_STEP
    with open(name, "w") as f:
        f.write(header + "\n")
        for j in range(2 * ROWS_EACH_SIDE):
            tod = first + j * ROW_STEP
            t = tod - pass_time_of_day
            r, v = earth_fixed(*inertial_at(state, t), t)
            f.write("%.3f %.6f %.6f %.6f %.9f %.9f %.9f\n" % (tod, *r, *v))


def main():
    write_state_vector("reference.txt",
                       "%s reference pass, L-band SAR 691 km up, sun-synchronous, descending "
                       "(synthetic)" % REFERENCE_DATE.isoformat(),
                       displaced_state(0.0, 0.0), 0.0)
    for cycle, kind, cross_m, height_m, when in PASSES:
        date = REFERENCE_DATE + datetime.timedelta(days=REPEAT_DAYS * cycle)
        state = displaced_state(cross_m, height_m)
        stem = date.strftime("%Y%m%d")
        if kind == "sv":
            write_state_vector(stem + ".txt",
                               "%s repeat pass, state vector (synthetic)" % date.isoformat(),
                               state, when)
        else:
            write_orbit(stem + ".orbit",
                        "%s repeat pass, orbit rows t X Y Z VX VY VZ every 10 s (synthetic)"
                        % date.isoformat(), state, when)


if __name__ == "__main__":
    main()
