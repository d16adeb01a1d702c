#!/usr/bin/env bash
# Records what bperp and bperp-stack print and write for a fixed set of
# command lines, and compares two such records byte for byte: the check of
# every change that must leave the outputs alone.
#
#   scripts/outputs.sh record BUILD_DIR OUT_DIR   run every case with the
#                                                 executables of BUILD_DIR
#   scripts/outputs.sh compare OLD_DIR NEW_DIR    the differences; status 1
#                                                 when there are any
#   scripts/outputs.sh check BUILD_DIR            record into a temporary
#                                                 folder and compare with
#                                                 tests/outputs/expected
#   scripts/outputs.sh prepare EMPTY_DIR          the folder the cases run
#                                                 in (for the Python
#                                                 package's tests)
#   scripts/outputs.sh cases                      the cases, one a line:
#                                                 NAME|PROGRAM|ARG|ARG...
#                                                 (the Python package's
#                                                 tests run them too)
#
# Each case runs in one folder that holds copies of the tree's examples/ and
# tests/data/ (so that no case can write into the tree), and the names in the
# outputs are the same relative paths on every machine. A case leaves NAME.out, NAME.err and NAME.status, and the
# files its exports and plot wrote under NAME.files/.
#
# compare leaves out "error_kind" members of JSON documents (and the comma
# that their removal leaves dangling), so that a record made before that
# member existed compares with one made after.
set -euo pipefail

source_dir="$(cd "$(dirname "$0")/.." && pwd)"

# The cases: a name, then the executable (bperp or bperp-stack), then its
# arguments. Files written by a case go to out/ (moved to NAME.files/).
cases() {
  cd "$source_dir"
  local ex=examples/stack
  local stack_refs=("$ex/reference.txt" "$ex"/2*)
  local s1=tests/data/s1-track108-annotation
  local s1_iw2=("$s1/s1a-iw2-slc-vv-20250406t022010-20250406t022035-058630-07421f-005.xml"
                "$s1/s1a-iw2-slc-vv-20250418t022010-20250418t022035-058805-074946-005.xml")
  local s1_all=("$s1"/s1a-iw1-*.xml "$s1"/s1a-iw2-*.xml "$s1"/s1a-iw3-*.xml)
  local par=tests/data/gamma-slc-par
  local slc=("$par/r20180106_VV_slc.par" "$par/r20180130_VV_slc.par" "$par/r20180319_VV_slc.par")
  local mli=("$par/r20180106_VV_8rlks_mli.par" "$par/r20180130_VV_8rlks_mli.par" "$par/r20180319_VV_8rlks_mli.par")
  local h5=(tests/data/opera-cslc-t042/*IW1*.h5 tests/data/opera-cslc-t042/*IW2*.h5)
  local dated_orbit=("$ex/20070728.orbit" "$ex/20071213.orbit" "$ex/20080429.orbit" "$ex/20070612.txt")
  local orbit_dir=tests/data/s1-track108-orbit-layout
  local zip=tests/data/s1-zipped-safe/S1A_IW_SLC__1SDV_20230108T135249_20230108T135316_046693_0598D3_BA76.zip
  local capella=tests/data/capella-extended-json
  local capella_sm=$capella/CAPELLA_C11_SM_SLC_VV_20251031191104_20251031191109_extended.json
  local capella_sp=$capella/CAPELLA_C13_SP_SLC_HH_20251102104909_20251102104943_extended.json

  # bperp itself.
  echo "bperp_pair|bperp|examples/master.txt|examples/slave.txt"
  echo "bperp_swapped|bperp|examples/slave.txt|examples/master.txt"
  echo "bperp_one_argument|bperp|examples/master.txt"
  echo "bperp_missing|bperp|examples/nothing.txt|examples/slave.txt"

  # Each reference kind, in each format: alone, with pairs, with a grid.
  local -A refs
  refs[state_vector]="$(IFS='|'; echo "${stack_refs[*]}")"
  # A dated orbit states no wavelength: the beam geometry's L band, given.
  refs[dated_orbit]="--at-range|870000|--wavelength|0.23622047244094488|$(IFS='|'; echo "${dated_orbit[*]}")"
  refs[s1_iw2]="$(IFS='|'; echo "${s1_iw2[*]}")"
  refs[s1_all]="--swath|IW2|$(IFS='|'; echo "${s1_all[*]}")"
  refs[s1_orbit_dir]="--orbit-dir|$orbit_dir|$(IFS='|'; echo "${s1_iw2[*]}")"
  refs[slc_par]="$(IFS='|'; echo "${slc[*]}")"
  refs[mli_par]="$(IFS='|'; echo "${mli[*]}")"
  refs[hdf5]="$(IFS='|'; echo "${h5[*]}")"
  local kind format
  for kind in state_vector dated_orbit s1_iw2 s1_all s1_orbit_dir slc_par mli_par hdf5; do
    for format in table csv json; do
      echo "${kind}_${format}|bperp-stack|--format|$format|${refs[$kind]}"
      echo "${kind}_${format}_pairs|bperp-stack|--format|$format|--pairs|${refs[$kind]}"
      echo "${kind}_${format}_grid|bperp-stack|--format|$format|--grid|3x3|${refs[$kind]}"
    done
    echo "${kind}_exports|bperp-stack|--pairs|--export|pairs:out/pairs.csv|--export|dates:out/dates.txt|--export|baselines:out/baselines.txt|--export|stack-folder:out/stack|--plot|out/plot.svg|${refs[$kind]}"
    echo "${kind}_grid_stack_folder|bperp-stack|--grid|2x2|--export|stack-folder:out/stack|${refs[$kind]}"
  done

  # The command lines the README shows.
  echo "readme_stack|bperp-stack|${refs[state_vector]}"
  echo "readme_split|bperp-stack|--pairs|--max-neighbours|2|--require-connected|${refs[state_vector]}"
  echo "readme_split_table|bperp-stack|--pairs|--max-neighbours|2|${refs[state_vector]}"
  echo "readme_mst|bperp-stack|--pairs|--max-neighbours|2|--mst|${refs[state_vector]}"
  echo "readme_plot|bperp-stack|--pairs|--max-perp|200|--max-days|200|--plot|out/baseline-time.svg|${refs[state_vector]}"
  echo "readme_coherence|bperp-stack|--pairs|--min-coherence|0.8|--export|pairs:out/pairs.csv|--export|dates:out/dates.txt|--export|baselines:out/baselines.txt|--export|stack-folder:out/stack|${refs[slc_par]}"
  echo "readme_orbit_dir|bperp-stack|--orbit-dir|$orbit_dir|${refs[s1_iw2]}"
  echo "readme_par|bperp-stack|$par/r20180106_VV_slc.par|$par/r20180130_VV_slc.par|$par/r20180319_VV_slc.par"
  echo "readme_hdf5|bperp-stack|${refs[hdf5]}"
  echo "readme_grid|bperp-stack|--grid|3x3|${refs[s1_iw2]}"
  echo "readme_grid_csv|bperp-stack|--format|csv|--grid|3x3|${refs[s1_iw2]}"

  # The network options, the coherence model and the targets.
  echo "network_limits|bperp-stack|--pairs|--max-perp|300|--max-days|150|--annual|${refs[state_vector]}"
  echo "network_sequential_json|bperp-stack|--format|json|--pairs|--sequential|2|--sensor|alos|${refs[state_vector]}"
  echo "network_split_json|bperp-stack|--format|json|--pairs|--max-neighbours|2|${refs[state_vector]}"
  echo "network_split_csv|bperp-stack|--format|csv|--pairs|--max-neighbours|2|${refs[state_vector]}"
  echo "coherence_options|bperp-stack|--pairs|--range-bandwidth|28e6|--azimuth-bandwidth|1500|--coherence-tau|100|--coherence-floor|0.1|--snr|15|--format|csv|${refs[state_vector]}"
  echo "as_given|bperp-stack|--as-given|--format|csv|${refs[state_vector]}"
  echo "wavelength|bperp-stack|--wavelength|0.055|${refs[state_vector]}"
  echo "at_time_range|bperp-stack|--at-time|2025-04-06T02:20:20|--at-range|880000|--height|120|--format|json|${refs[s1_iw2]}"
  echo "at_point|bperp-stack|--at-point|52.1,-128,30|--format|json|${refs[s1_iw2]}"
  echo "hdf5_at_point|bperp-stack|--at-point|39.4,-119.7|${refs[hdf5]}"
  echo "look_left|bperp-stack|--look|left|${refs[dated_orbit]}"

  # Refusals and messages.
  echo "help|bperp-stack|--help"
  echo "unknown_option|bperp-stack|--nonsense|${refs[state_vector]}"
  echo "bad_number|bperp-stack|--max-length|ten|${refs[state_vector]}"
  echo "bad_option_unreadable_reference|bperp-stack|--pairs|--max-perp|ten|examples/none.txt|$ex/20070612.txt"
  echo "empty_value|bperp-stack|--max-length||${refs[state_vector]}"
  echo "empty_value_joined|bperp-stack|--max-length=|${refs[state_vector]}"
  echo "needs_pairs|bperp-stack|--max-perp|100|${refs[state_vector]}"
  echo "no_secondaries|bperp-stack|$ex/reference.txt"
  echo "unreadable_reference|bperp-stack|examples/none.txt|$ex/20070612.txt"
  echo "unreadable_secondary|bperp-stack|$ex/reference.txt|$ex/20070612.txt|examples/none.txt"
  echo "example_pair|bperp-stack|--format|json|examples/master.txt|examples/slave.txt"
  echo "list_file|bperp-stack|--list|list.txt|$ex/reference.txt"
  echo "list_missing|bperp-stack|--list|none.txt|$ex/reference.txt"
  echo "same_file_twice|bperp-stack|$ex/reference.txt|$ex/20070612.txt|$ex/20070612.txt|$ex/reference.txt"
  echo "too_long|bperp-stack|--max-length|200|--format|json|${refs[state_vector]}"
  echo "at_point_state_vector|bperp-stack|--at-point|36,128|${refs[state_vector]}"
  echo "grid_state_vector|bperp-stack|--grid|2x2|${refs[state_vector]}"
  echo "grid_bad|bperp-stack|--grid|0x3|${refs[s1_iw2]}"
  echo "at_point_clash|bperp-stack|--at-point|52,-128|--height|3|${refs[s1_iw2]}"
  echo "coherence_floor_above|bperp-stack|--coherence-floor|0.999|${refs[state_vector]}"
  echo "export_bad_kind|bperp-stack|--export|nothing:out/x|${refs[state_vector]}"
  echo "export_needs_pairs|bperp-stack|--export|dates:out/dates.txt|${refs[state_vector]}"
  echo "export_over_input|bperp-stack|--export|baselines:$ex/20070612.txt|${refs[state_vector]}"
  echo "plot_unknown_format|bperp-stack|--plot|out/plot.txt|${refs[state_vector]}"
  echo "plot_undated|bperp-stack|--plot|out/plot.svg|examples/master.txt|examples/slave.txt"
  # The figures: the plot as PDF and PNG of a size, the network page, and
  # their refusals.
  echo "plot_pdf_shaded|bperp-stack|--pairs|--max-neighbours|2|--sensor|alos|--plot|out/plot.pdf|${refs[state_vector]}"
  echo "plot_png_px|bperp-stack|--pairs|--max-perp|200|--plot|out/plot.png|--plot-size|600x400px|${refs[state_vector]}"
  echo "plot_size_malformed|bperp-stack|--plot|out/plot.pdf|--plot-size|88x66|${refs[state_vector]}"
  echo "plot_size_without_plot|bperp-stack|--plot-size|88x66mm|${refs[state_vector]}"
  echo "html_page|bperp-stack|--pairs|--max-perp|200|--max-days|200|--sensor|alos|--convention|gamma|--html|out/page.html|${refs[state_vector]}"
  echo "html_pair|bperp-stack|--html|out/page.html|examples/master.txt|examples/slave.txt"
  echo "html_not_html|bperp-stack|--html|out/page.txt|${refs[state_vector]}"
  echo "html_paths_without_html|bperp-stack|--html-paths|${refs[state_vector]}"
  echo "min_coherence_no_bandwidth|bperp-stack|--pairs|--min-coherence|0.5|${refs[state_vector]}"
  echo "sensor_unknown|bperp-stack|--sensor|nosuch|${refs[state_vector]}"
  echo "mixed_tracks|bperp-stack|--format|json|$s1/s1a-iw2-slc-vv-20250406t022010-20250406t022035-058630-07421f-005.xml|${refs[state_vector]}"
  echo "orbit_file_as_input|bperp-stack|$orbit_dir/S1A_OPER_AUX_POEORB_OPOD_20250426T022143_V20250406T021903_20250406T022143.EOF|$ex/20070612.txt"

  # Untrusted inputs: no output replaces a file read, values beyond their
  # bounds, a list line longer than a path (the files of hostile/ are made
  # by record).
  local orbit_0406="$orbit_dir/S1A_OPER_AUX_POEORB_OPOD_20250426T022143_V20250406T021903_20250406T022143.EOF"
  local orbit_0418="$orbit_dir/S1A_OPER_AUX_POEORB_OPOD_20250508T022143_V20250418T021903_20250418T022143.EOF"
  echo "export_over_orbit|bperp-stack|--orbit|$orbit_0406|--orbit|$orbit_0418|--export|baselines:$orbit_0406|${refs[s1_iw2]}"
  echo "export_over_orbit_dir_file|bperp-stack|--orbit-dir|$orbit_dir|--export|baselines:$orbit_0418|${refs[s1_iw2]}"
  echo "frequency_1e308|bperp-stack|hostile/frequency_1e308.par|$par/r20180130_VV_slc.par"
  echo "list_line_too_long|bperp-stack|--list|hostile/long_line.list|$ex/reference.txt"
  # An output the file system can't name: refused before anything is
  # printed, not after.
  echo "plot_name_too_long|bperp-stack|--plot|out/$(printf 'n%.0s' {1..252}).svg|${refs[state_vector]}"

  # Targets the reference does not see, and wavelengths stated or not.
  echo "at_point_other_side|bperp-stack|--at-point|52.121021,-140|${refs[s1_iw2]}"
  echo "at_range_outside_image|bperp-stack|--at-range|2000000|--format|json|${refs[s1_iw2]}"
  echo "dated_orbit_no_wavelength|bperp-stack|--at-range|870000|$(IFS='|'; echo "${dated_orbit[*]}")"
  echo "wavelength_differs|bperp-stack|--wavelength|0.056|${refs[s1_iw2]}"
  echo "sensor_on_products|bperp-stack|--sensor|alos|--pairs|${refs[s1_iw2]}"
  echo "unused_options|bperp-stack|--swath|IW1|--hdf5-orbit|/orbit|--orbit-dir|$orbit_dir|--look|left|--format|json|${refs[state_vector]}"
  echo "quiet|bperp-stack|--quiet|--swath|IW1|--format|json|${refs[s1_iw2]}"
  echo "did_you_mean|bperp-stack|--max-neigbours|2|--pairs|${refs[state_vector]}"
  echo "american_spelling|bperp-stack|--max-neighbors|2|--pairs|${refs[state_vector]}"
  echo "reference_among_secondaries|bperp-stack|$ex/reference.txt|$ex/reference.txt|$ex/20080730.txt"

  # The L-band missions' products: a reference alone prints its geometry; a
  # CEOS leader (alone, its zip or its folder) and a NISAR product; targets that a
  # product stating only its scene centre cannot place; the frequency band.
  local led=tests/data/alos2-ceos-l15/LED-ALOS2015976960-140909-FBDR1.5GUA
  local nisar=tests/data/nisar-rslc-sim/REE_RSLC_out17.h5
  echo "alos2_leader_alone|bperp-stack|$led"
  echo "alos2_zip|bperp-stack|tests/data/alos2-ceos-l15/0000022708_001001_ALOS2015976960-140909.zip"
  echo "alos2_folder_json|bperp-stack|--format|json|tests/data/alos2-ceos-l15"
  echo "alos2_leader_at_range|bperp-stack|--at-range|800000|$led"
  echo "alos2_leader_grid|bperp-stack|--grid|2x2|$led"
  echo "alos2_leader_at_point|bperp-stack|--format|csv|--at-point|-11,-62.6|$led|$nisar"
  echo "nisar_alone|bperp-stack|$nisar"
  echo "nisar_alone_json|bperp-stack|--format|json|$nisar"
  echo "nisar_alone_csv_grid|bperp-stack|--format|csv|--grid|2x2|$nisar"
  echo "nisar_frequency_b|bperp-stack|--frequency|B|$nisar"
  echo "nisar_frequency_bad|bperp-stack|--frequency|C|$nisar"
  echo "frequency_unused|bperp-stack|--frequency|b|--format|csv|${refs[s1_iw2]}"
  echo "s1_alone_json|bperp-stack|--format|json|$s1/s1a-iw2-slc-vv-20250406t022010-20250406t022035-058630-07421f-005.xml"

  # The sign conventions, of a right-looking and a left-looking reference;
  # the exports keep their readers' whatever --convention says.
  local left="--look|left|${refs[dated_orbit]}"
  for convention in isce gamma; do
    echo "convention_${convention}_table|bperp-stack|--convention|$convention|--pairs|${refs[s1_iw2]}"
    echo "convention_${convention}_csv_pairs|bperp-stack|--convention|$convention|--format|csv|--pairs|${refs[slc_par]}"
    echo "convention_${convention}_left_json|bperp-stack|--convention|$convention|--format|json|--pairs|$left"
    echo "convention_${convention}_exports|bperp-stack|--convention|$convention|--pairs|--export|pairs:out/pairs.csv|--export|baselines:out/baselines.txt|--export|stack-folder:out/stack|--plot|out/plot.svg|${refs[slc_par]}"
  done
  echo "left_exports|bperp-stack|--pairs|--export|baselines:out/baselines.txt|--export|stack-folder:out/stack|$left"

  # Passes: slices of one date make one acquisition; the reference's own
  # pass is no secondary; two passes of one date pair, but no export that
  # names acquisitions by date takes them.
  local slices=("$s1/s1a-iw2-slc-vv-20250406t022010-20250406t022035-058630-07421f-005.xml"
                "$s1/s1a-iw1-slc-vv-20250406t022009-20250406t022034-058630-07421f-004.xml"
                "$s1"/s1a-iw?-slc-vv-20250418t*.xml)
  echo "slices|bperp-stack|--pairs|--export|dates:out/dates.txt|--export|baselines:out/baselines.txt|$(IFS='|'; echo "${slices[*]}")"
  echo "slices_grid_csv|bperp-stack|--format|csv|--grid|2x2|$(IFS='|'; echo "${slices[*]}")"
  echo "two_passes_one_date|bperp-stack|--pairs|$ex/reference.txt|$ex/20080730.txt|twin/20080730.txt"
  echo "two_passes_one_date_export|bperp-stack|--pairs|--export|dates:out/dates.txt|$ex/reference.txt|$ex/20080730.txt|twin/20080730.txt"

  # Choosing the reference and the acquisitions, and designing the network
  # (the pair lists and the --exclude file are made by prepare).
  local sv="${refs[state_vector]}"
  echo "network_auto_delaunay|bperp-stack|--reference|auto|--pairs|--delaunay|--months|5-10|$sv"
  echo "network_auto_coherence_json|bperp-stack|--format|json|--reference|auto|--sensor|alos|--delaunay|--exclude|@exclude.txt|$sv"
  echo "network_auto_centre_star|bperp-stack|--reference|auto:centre|--star|--max-perp|300|--start|2007-07-01|--end|20090201|$sv"
  echo "network_auto_wrapping_months_json|bperp-stack|--format|json|--reference|auto:distance|--months|11-2|--pairs|--sequential|1|$sv"
  echo "network_reference_date_csv|bperp-stack|--format|csv|--reference|2008-07-30|--star|$sv"
  echo "network_reference_path|bperp-stack|--reference|$ex/20080730.txt|--pairs|--mst|--max-days|1|--distance-scale|50,200|$sv"
  echo "network_reference_no_such_date|bperp-stack|--reference|2010-01-01|--pairs|$sv"
  echo "network_reference_cannot_serve|bperp-stack|--reference|2007-07-28|--pairs|$sv"
  echo "network_filter_leaves_out_reference|bperp-stack|--months|11-2|--pairs|$sv"
  echo "network_filter_needs_dates|bperp-stack|--end|2009-01-01|examples/master.txt|undated.txt"
  echo "network_bad_months|bperp-stack|--months|5-13|--pairs|$sv"
  echo "network_star_implies_pairs|bperp-stack|--star|--max-perp|200|--format|json|${refs[slc_par]}"
  echo "network_pairs_from_dates|bperp-stack|--pairs-from|ifgs.txt|--export|pairs:out/pairs.csv|$sv"
  echo "network_pairs_from_csv_names|bperp-stack|--format|json|--pairs-from|pairs-twin.csv|$ex/reference.txt|$ex/20080730.txt|twin/20080730.txt"
  echo "network_pairs_from_and_delaunay|bperp-stack|--pairs-from|ifgs.txt|--delaunay|--max-days|100|$sv"
  echo "network_pairs_from_unknown_date|bperp-stack|--pairs-from|unknown.txt|$sv"
  echo "network_pairs_from_baselines|bperp-stack|--pairs-from|baselines.txt|$sv"
  echo "network_pairs_from_over_itself|bperp-stack|--pairs-from|ifgs.txt|--export|pairs:ifgs.txt|$sv"

  # A stack folder with a manifest: entries of the same reference replaced
  # (and the others left, said), another reference's or entries without a
  # manifest refused (seeds/NAME/ is what out/ held before).
  for seed in same_reference other_reference no_manifest; do
    echo "stack_folder_${seed}|bperp-stack|--export|stack-folder:out/stack|${refs[slc_par]}"
  done

  # Products as downloaded and the X- and C-band missions: each reference
  # alone (named twice, used once), the burst, the orbit fallback, files of
  # no kind.
  echo "zip_safe|bperp-stack|$zip|$zip"
  echo "zip_safe_json|bperp-stack|--format|json|$zip|$zip"
  echo "zip_safe_polarisation|bperp-stack|--polarization|vh|$zip|$zip"
  echo "capella_stripmap|bperp-stack|$capella_sm|$capella_sm"
  echo "capella_spotlight_json|bperp-stack|--format|json|$capella_sp|$capella_sp"
  echo "capella_spotlight_at_time|bperp-stack|--at-time|2025-11-02T10:49:26|$capella_sp|$capella_sp"
  echo "burst|bperp-stack|--burst|t108_230132_iw2|${refs[s1_iw2]}"
  echo "burst_json|bperp-stack|--format|json|--burst|T108_230140_IW2|${refs[s1_iw2]}"
  echo "burst_absent|bperp-stack|--burst|t108_230132_iw1|${refs[s1_iw2]}"
  echo "orbit_fallback|bperp-stack|--orbit-dir|$orbit_dir|$zip|$zip"
  echo "orbit_required|bperp-stack|--require-orbit-files|--orbit-dir|$orbit_dir|$zip|$zip"
  echo "orbit_required_secondary|bperp-stack|--format|json|--require-orbit-files|--orbit|$orbit_dir/S1A_OPER_AUX_POEORB_OPOD_20250426T022143_V20250406T021903_20250406T022143.EOF|${refs[s1_iw2]}"
  echo "no_kind_base_par|bperp-stack|$ex/reference.txt|$par/20180106-20180130_VV_8rlks_base.par"
  echo "no_kind_text|bperp-stack|$ex/reference.txt|$ex/make_example_stack.py|$capella/LICENSE.capella-reader"
}

# A stack folder's manifest: REFERENCE FILE DATE ENTRY.
seed_manifest() {
  printf '{\n  "written_by": "bperp-stack 0.1.0",\n  "reference": "%s",\n  "reference_file": "%s",\n  "reference_date": "%s",\n  "convention": "isce",\n  "entries": [\n    "%s"\n  ]\n}\n' "$@"
}

# What some cases find in out/ before they run (seeds/NAME/).
seed_outputs() {
  local seeds="$1"
  mkdir -p "$seeds/stack_folder_same_reference/stack/20180106_20171213" \
           "$seeds/stack_folder_same_reference/stack/20180106_20180130" \
           "$seeds/stack_folder_other_reference/stack/20180130_20180106" \
           "$seeds/stack_folder_no_manifest/stack/20180130_20180106"
  seed_manifest ../par/r20180106_VV_slc.par r20180106_VV_slc.par 2018-01-06 20180106_20171213 \
    >"$seeds/stack_folder_same_reference/stack/bperp-stack.json"
  printf 'Bperp (average): 1.0\nBpar (average): 2.0\n' \
    >"$seeds/stack_folder_same_reference/stack/20180106_20171213/20180106_20171213.txt"
  printf 'Bperp (average): 1.0\nBpar (average): 2.0\n' \
    >"$seeds/stack_folder_same_reference/stack/20180106_20180130/20180106_20180130.txt"
  seed_manifest r20180130_VV_slc.par r20180130_VV_slc.par 2018-01-30 20180130_20180106 \
    >"$seeds/stack_folder_other_reference/stack/bperp-stack.json"
  for seed in other_reference no_manifest; do
    printf 'Bperp (average): 30.191786\nBpar (average): 26.778476\n' \
      >"$seeds/stack_folder_$seed/stack/20180130_20180106/20180130_20180106.txt"
  done
}

# The folder the cases run in: copies of examples/ and tests/data/, the
# list of --list, another pass of one date, and seeds/ (what some cases
# find in out/ before they run).
prepare() {
  local work="$1"
  cp -R "$source_dir/examples" "$work/examples"
  mkdir "$work/tests"
  cp -R "$source_dir/tests/data" "$work/tests/data"
  printf '%s\n' examples/stack/20070612.txt '' examples/stack/20071213.orbit >"$work/list.txt"
  # Another pass dated 2008-07-30 (the pass of 2008-10-30 redated): state
  # vectors have no time to tell passes of one date apart.
  mkdir "$work/twin"
  sed '1s/^2008-10-30/2008-07-30/' "$source_dir/examples/stack/20081030.txt" >"$work/twin/20080730.txt"
  # Untrusted inputs: a frequency beyond its bound, a list line longer than
  # a path.
  mkdir "$work/hostile"
  sed 's/^radar_frequency:.*/radar_frequency: 1e308 Hz/' "$work/tests/data/gamma-slc-par/r20180106_VV_slc.par" \
    >"$work/hostile/frequency_1e308.par"
  { echo examples/stack/20070612.txt; head -c 5000 /dev/zero | tr '\0' a; echo; } >"$work/hostile/long_line.list"
  # Pair lists for --pairs-from (each form of dates; names where two passes
  # share a date; a date of no acquisition; a baselines export) and the
  # dates of --exclude @FILE.
  printf '# an edited network\n20070612_20070728\n\n20071028-20080128\r\n2008-06-14 2008-07-30\n20080730,20081030 kept\n' \
    >"$work/ifgs.txt"
  printf 'first,second,first_date,second_date,days,perpendicular_m\nexamples/stack/reference.txt,twin/20080730.txt,2008-06-14,2008-07-30,46,1\n' \
    >"$work/pairs-twin.csv"
  printf '20070612_20070728\n20070612_20070729\n' >"$work/unknown.txt"
  printf '20080614 20070612 -120.5 -368\n' >"$work/baselines.txt"
  printf '# snow\n2007-12-13\n20080128\n' >"$work/exclude.txt"
  sed '1s/^2007-04-29 //' "$source_dir/examples/slave.txt" >"$work/undated.txt"
  seed_outputs "$work/seeds"
}

record() {
  local build="$1" out="$2"
  local build_abs
  build_abs="$(cd "$build" && pwd)"
  mkdir -p "$out"
  local out_abs
  out_abs="$(cd "$out" && pwd)"
  local work
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' RETURN
  prepare "$work"
  local line name program
  while IFS= read -r line; do
    IFS='|' read -r -a fields <<<"$line"
    name="${fields[0]}"
    program="${fields[1]}"
    rm -rf "$work/out"
    mkdir "$work/out"
    if [ -d "$work/seeds/$name" ]; then cp -R "$work/seeds/$name/." "$work/out/"; fi
    local status=0
    # Run by name from PATH, so that what a program prints of its own name
    # (bperp's usage line) does not hold the build folder.
    (cd "$work" && PATH="$build_abs:$PATH" LC_ALL=C "$program" "${fields[@]:2}" </dev/null \
      >"$out_abs/$name.out" 2>"$out_abs/$name.err") || status=$?
    echo "$status" >"$out_abs/$name.status"
    if [ -n "$(ls -A "$work/out")" ]; then
      rm -rf "$out_abs/$name.files"
      mv "$work/out" "$out_abs/$name.files"
    fi
  done < <(cases)
}

# A file as compared: JSON's error_kind members left out.
normalised() {
  awk '
    /^[ \t]*"error_kind": / { next }
    { lines[n++] = $0 }
    END {
      for (i = 0; i < n; i++) {
        line = lines[i]
        if (i + 1 < n && line ~ /,$/ && lines[i + 1] ~ /^[ \t]*[}\]]/) sub(/,$/, "", line)
        print line
      }
    }' "$1"
}

compare() {
  local old="$1" new="$2" differ=0 file
  while IFS= read -r file; do
    if [ ! -e "$new/$file" ]; then
      echo "only in $old: $file"
      differ=1
    elif ! cmp -s <(normalised "$old/$file") <(normalised "$new/$file"); then
      echo "differs: $file"
      diff <(normalised "$old/$file") <(normalised "$new/$file") | head -20 || true
      differ=1
    fi
  done < <(cd "$old" && find . -type f | sort)
  while IFS= read -r file; do
    if [ ! -e "$old/$file" ]; then
      echo "only in $new: $file"
      differ=1
    fi
  done < <(cd "$new" && find . -type f | sort)
  if [ "$differ" -eq 0 ]; then echo "the outputs are the same"; fi
  return "$differ"
}

case "${1:-}" in
  record) record "$2" "$3" ;;
  compare) compare "$2" "$3" ;;
  cases) cases ;;
  prepare) prepare "$2" ;;
  check)
    tmp="$(mktemp -d)"
    trap 'rm -rf "$tmp"' EXIT
    record "$2" "$tmp"
    compare "$source_dir/tests/outputs/expected" "$tmp"
    ;;
  *)
    echo "usage: $0 record BUILD_DIR OUT_DIR | compare OLD_DIR NEW_DIR | check BUILD_DIR | cases | prepare EMPTY_DIR" >&2
    exit 2
    ;;
esac
