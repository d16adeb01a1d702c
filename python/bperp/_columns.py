"""What each column of a stack's results means: its unit and its sign
convention. The columns themselves (keys, types, units) come from the
library's column tables; a column without a text here is described by its
heading and unit."""
from __future__ import annotations

_B = "B = reference position - the secondary's, "

ACQUISITIONS = {
    "name": "the file as given (os.fsdecode of its bytes), or the name of an orbit or state vector given in memory",
    "kind": "state-vector, orbit, s1-annotation, parameters, hdf5 or product",
    "date": "the acquisition date, datetime64[D] (NaT where the input gives none)",
    "days": "the temporal baseline, secondary - reference, whole days (int32; 0 where has_date is False)",
    "days_exact": "the secondary's zero-Doppler time - the reference's, days",
    "reference_time": "the reference's zero-Doppler time of the target, UTC, datetime64[ns]",
    "secondary_time": "the secondary's zero-Doppler time of the target, UTC, datetime64[ns]",
    "aligned_time_s": "the orbit's time of closest approach to the reference position, s on the orbit's own scale",
    "reference_slant_range_m": "the slant range from the reference to the target, m",
    "secondary_slant_range_m": "the slant range from the secondary to the target, m",
    "grid_line": "the target's line index in the grid (0-based)",
    "grid_range": "the target's range index in the grid (0-based)",
    "grid_x": "the target's map x in the product's projection, m",
    "grid_y": "the target's map y in the product's projection, m",
    "latitude_deg": "the target's geodetic latitude (WGS84), deg",
    "longitude_deg": "the target's geodetic longitude (WGS84), deg",
    "parallel_m": "the parallel baseline B . U, m: " + _B + "U the unit look vector from the reference "
                  "to the target; positive when the reference lies farther along the line of sight than the "
                  "secondary",
    "perpendicular_m": "the perpendicular baseline, m: B on the unit vector at right angles to the line of "
                       "sight, away from the earth; positive when the reference lies farther out across the "
                       "line of sight than the secondary",
    "along_track_m": "B . v/|v|, v the secondary's earth-fixed velocity, m: zero after the alignment",
    "along_track_removed_m": "the along-track offset taken out when the secondary was moved into the "
                             "reference's zero-Doppler plane, (S - R) . v, m",
    "length_m": "|B|, m",
    "height_of_ambiguity_m": "lambda R sin(incidence) / (2 B_perp), m, with the sign of the perpendicular "
                             "baseline; NaN where it is zero",
    "time_shift_s": "the time a state vector was moved along its orbit to its closest approach, s",
    "interpolation_error_m": "the estimated error of the secondary's position where it was taken "
                             "(interpolated or propagated), m",
    "orbit_source": "where the orbit came from: annotation, an orbit file's name, an HDF5 group, orbit file",
    "error": "why the row has no baseline, naming the file (\"\" where it has one)",
    "error_kind": "the kind of that refusal (unreadable, unknown_format, malformed, implausible, other_track, "
                  "outside_orbit, uncertain, too_long, same_pass, outside_image, option; \"\" where none)",
    "reference": "True for the reference's row (row 0: no baseline to itself, zero)",
    "has_date": "whether the input gives a date (days is meaningful)",
}

PAIRS = {
    "first": "the earlier acquisition, a row of acquisitions (int32)",
    "second": "the later acquisition, a row of acquisitions (int32)",
    "days": "the temporal baseline, second - first, whole days >= 0 (int32; 0 where has_date is False)",
    "perpendicular_m": "B_perp(second) - B_perp(first), both against the reference's geometry, m: the "
                       "baseline of first as master and second as slave",
    "critical_baseline_m": "lambda Br R tan(incidence) / c of the network's model, m",
    "height_of_ambiguity_m": "lambda R sin(incidence) / (2 B_perp) of the pair's perpendicular baseline, m",
    "coherence_model": "the modelled coherence, geometric x temporal x Doppler, 0 to 1 (NaN without a "
                       "range bandwidth or dates)",
    "has_date": "whether both acquisitions have a date (days is meaningful)",
}

NETWORK = {
    "components": "the number of connected parts",
    "component": "each acquisition's part (int32, a row of acquisitions each; -1 for one not in the network)",
    "critical_baseline_m": PAIRS["critical_baseline_m"],
    "bridges": "the closest pairs that would join the parts: first, second (rows of acquisitions), has_date, "
               "days, perpendicular_m and distance (sqrt((days/100)^2 + (B_perp/100 m)^2))",
}

REFERENCE = {
    "name": ACQUISITIONS["name"],
    "date": ACQUISITIONS["date"],
    "kind": ACQUISITIONS["kind"],
    "geometry": "beam (bperp's beam 7 of a state vector) or zero-doppler (a product or dated orbit)",
    "mission": "the product's mission (None where not given)",
    "absolute_orbit": "the product's absolute orbit (None where not given)",
    "relative_orbit": "the track, for Sentinel-1 (None otherwise)",
    "pass": "ASCENDING or DESCENDING (None where not given)",
    "swath": "the product's swath (None where not given)",
    "polarisation": "the product's polarisation (None where not given)",
    "burst_id": "the burst whose lines hold the target's time, t042_088905_iw1 (None where not given)",
    "time": "the reference's zero-Doppler time of the target, UTC (NaT in the beam geometry)",
    "latitude_deg": "the target's (or scene point's) geodetic latitude, deg",
    "longitude_deg": "the target's (or scene point's) geodetic longitude, deg",
    "height_m": "the target's height above the ellipsoid, m",
    "x_m": "the target's earth-fixed x, m",
    "y_m": "the target's earth-fixed y, m",
    "z_m": "the target's earth-fixed z, m",
    "slant_range_m": "the slant range from the reference to the target, m",
    "look_side": "right or left",
    "look_angle_deg": "the off-nadir (look) angle at the satellite, deg",
    "incidence_deg": "the incidence angle at the target, against the ellipsoid normal, deg",
    "heading_deg": "the track's heading, clockwise from north, deg (NaN in the beam geometry)",
    "doppler_centroid_hz": "the Doppler centroid toward the target, Hz (NaN where not known)",
    "doppler_rate_hz_per_s": "the Doppler rate of the beam geometry, Hz/s (NaN in the zero-Doppler geometry)",
    "wavelength_m": "the radar wavelength the run uses, m",
    "wavelength_source": "where it came from: product, wavelength, sensor or settings",
    "orbit_source": ACQUISITIONS["orbit_source"],
    "interpolation_error_m": "the estimated error of the reference's interpolated position, m",
}


def describe(key: str, descriptions: dict, columns: dict) -> str:
    """A column's text: its meaning here, else its heading and unit."""
    if key in descriptions:
        return descriptions[key]
    column = columns.get(key)
    if column is None:
        return key
    return column["heading"] + (", " + column["unit"] if column["unit"] else "")
