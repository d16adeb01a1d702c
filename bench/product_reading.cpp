// What reading a stack of Sentinel-1 products costs against the XML
// parser's own floor: 200 annotations, each with its own precise orbit
// file of the real layout (9,400 vectors over 26 hours, some 5 MB),
// generated into a temporary folder. Side by side, in one process:
//   parse only   every file read into memory and parsed by pugixml, nothing else;
//   bperp-stack  the whole run: every annotation read, the orbit files'
//                headers read, each acquisition's file chosen and read,
//                the baselines computed and written (to /dev/null).
// Each is run `rounds` times; the figures are the fastest round.
//
//   bperp_product_reading [acquisitions] [rounds]   (default 200 and 3)
#include <pugixml.hpp>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "bperp/stack/command/stack_command.h"
#include "bperp/stack/support/utc_time.h"

namespace {

namespace fs = std::filesystem;
using bperp::stack::UtcTime;

std::string read_all(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_all(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

// "YYYY-MM-DD" of a day some repeat cycles after 2025-04-06.
std::string date_text(UtcTime t) { return bperp::stack::utc_text(t).substr(0, 10); }

// A precise orbit file for the day of `day` (validity 23:00 the day before
// to 01:00 the day after, as the real ones), vectors every 10 s of a
// circular orbit that passes the annotation's vectors' region at 02:20.
std::string orbit_file(UtcTime day) {
  const UtcTime start = bperp::stack::add_seconds(day, -3600.0);
  const UtcTime stop = bperp::stack::add_seconds(day, 25 * 3600.0);
  const std::string name = "S1A_OPER_AUX_POEORB_OPOD_" + date_text(day) + "_V";
  std::string text;
  text.reserve(6u << 20);
  text += "<?xml version=\"1.0\" ?>\n<Earth_Explorer_File>\n  <Earth_Explorer_Header>\n    <Fixed_Header>\n";
  text += "      <File_Name>" + name + "</File_Name>\n      <Mission>Sentinel-1A</Mission>\n";
  text += "      <File_Type>AUX_POEORB</File_Type>\n      <Validity_Period>\n";
  text += "        <Validity_Start>UTC=" + bperp::stack::utc_text(start).substr(0, 19) + "</Validity_Start>\n";
  text += "        <Validity_Stop>UTC=" + bperp::stack::utc_text(stop).substr(0, 19) + "</Validity_Stop>\n";
  text += "      </Validity_Period>\n      <Source>\n        <Creation_Date>UTC=2026-01-01T00:00:00</Creation_Date>\n";
  text += "      </Source>\n    </Fixed_Header>\n  </Earth_Explorer_Header>\n  <Data_Block type=\"xml\">\n";
  const int count = static_cast<int>(bperp::stack::seconds_between(start, stop) / 10.0) + 1;
  text += "    <List_of_OSVs count=\"" + std::to_string(count) + "\">\n";
  // A circular orbit 700 km up (its exact path does not matter here).
  constexpr double r = 7071e3, n = 1.0597e-3;
  for (int k = 0; k < count; ++k) {
    const UtcTime t = bperp::stack::add_seconds(start, 10.0 * k);
    const double u = n * bperp::stack::seconds_between(day, t);
    const std::string utc = bperp::stack::utc_text(t).substr(0, 26);
    char osv[768];
    std::snprintf(osv, sizeof osv,
                  "      <OSV>\n        <TAI>TAI=%s</TAI>\n        <UTC>UTC=%s</UTC>\n        <UT1>UT1=%s</UT1>\n"
                  "        <Absolute_Orbit>+58630</Absolute_Orbit>\n        <X unit=\"m\">%.6f</X>\n"
                  "        <Y unit=\"m\">%.6f</Y>\n        <Z unit=\"m\">%.6f</Z>\n        <VX unit=\"m/s\">%.6f</VX>\n"
                  "        <VY unit=\"m/s\">%.6f</VY>\n        <VZ unit=\"m/s\">%.6f</VZ>\n"
                  "        <Quality>NOMINAL</Quality>\n      </OSV>\n",
                  utc.c_str(), utc.c_str(), utc.c_str(), r * std::cos(u), 0.0, r * std::sin(u),
                  -r * n * std::sin(u), 0.0, r * n * std::cos(u));
    text += osv;
  }
  text += "    </List_of_OSVs>\n  </Data_Block>\n</Earth_Explorer_File>\n";
  return text;
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int acquisitions = argc > 1 ? std::atoi(argv[1]) : 200;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const fs::path source = fs::path(BPERP_SOURCE_DIR) / "tests/data/s1-track108-annotation" /
                          "s1a-iw2-slc-vv-20250406t022010-20250406t022035-058630-07421f-005.xml";
  const std::string annotation = read_all(source);
  const fs::path work = fs::temp_directory_path() / ("bperp-product-reading-" + std::to_string(::getpid()));
  fs::create_directories(work / "orbits");
  std::vector<std::string> files, annotations;
  std::uintmax_t bytes = 0;
  const UtcTime first_day = *bperp::stack::parse_utc("2025-04-06T00:00:00");
  for (int k = 0; k < acquisitions; ++k) {
    const UtcTime day = bperp::stack::add_seconds(first_day, 12.0 * 86400.0 * k);
    std::string text = annotation;
    for (std::size_t at = text.find("2025-04-06"); at != std::string::npos; at = text.find("2025-04-06", at + 10))
      text.replace(at, 10, date_text(day));
    const fs::path a = work / ("s1a-iw2-slc-vv-" + std::to_string(k) + ".xml");
    const fs::path o = work / "orbits" / ("S1A_OPER_AUX_POEORB_" + std::to_string(k) + ".EOF");
    write_all(a, text);
    write_all(o, orbit_file(day));
    annotations.push_back(a.string());
    files.push_back(a.string());
    files.push_back(o.string());
    bytes += fs::file_size(a) + fs::file_size(o);
  }

  double parse_only = 1e300, whole = 1e300;
  for (int round = 0; round < rounds; ++round) {
    auto t0 = std::chrono::steady_clock::now();
    std::size_t nodes = 0;
    for (const std::string& f : files) {
      std::string buffer = read_all(f);
      pugi::xml_document doc;
      if (!doc.load_buffer_inplace(buffer.data(), buffer.size())) return 1;
      nodes += doc.first_child() ? 1 : 0;
    }
    parse_only = std::min(parse_only, seconds_since(t0));

    std::vector<std::string> args = {"bperp-stack", "--format", "csv", "--orbit-dir", (work / "orbits").string()};
    args.insert(args.end(), annotations.begin(), annotations.end());
    std::vector<const char*> argv_run;
    for (const std::string& s : args) argv_run.push_back(s.c_str());
    std::FILE* null = std::fopen("/dev/null", "w");
    t0 = std::chrono::steady_clock::now();
    const int status = bperp::stack::stack_command(static_cast<int>(argv_run.size()), argv_run.data(), stdin,
                                                   null, null);
    whole = std::min(whole, seconds_since(t0));
    std::fclose(null);
    if (status != 0 && round == 0) std::fprintf(stderr, "bperp-stack ended with status %d\n", status);
    (void)nodes;
  }
  if (std::getenv("BPERP_KEEP_FILES") == nullptr) fs::remove_all(work);
  else std::printf("files kept in %s\n", work.c_str());
  std::printf("%d annotations and %d orbit files, %.0f MB\n", acquisitions, acquisitions, bytes / 1e6);
  std::printf("parse only (pugixml)   %.3f s\n", parse_only);
  std::printf("bperp-stack, whole run %.3f s   (%.2f x the parse)\n", whole, whole / parse_only);
  return 0;
}
