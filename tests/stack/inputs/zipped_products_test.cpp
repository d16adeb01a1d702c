// Products as archives deliver them and orbit folders as download tools
// keep them: the zip layer against hostile archives (written here byte by
// byte), the zipped Sentinel-1 sample against its unpacked folder, a CEOS
// product zip by its leader, orbit files served flat, two folders down and
// zipped, the fallback to a product's own orbit, and what a file of no kind
// is said to look like.
#include <gtest/gtest.h>

#include <zip.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bperp/stack/inputs/acquisition.h"
#include "bperp/stack/inputs/zip_archive.h"
#include "stack_test_support.h"

namespace {

using bperp::stack::RefusalKind;
using bperp::stack::ZipArchive;
using stack_test::RunResult;
using stack_test::run_stack;
using stack_test::TempDir;
using Json = nlohmann::json;
namespace fs = std::filesystem;

const std::string data = std::string(BPERP_SOURCE_DIR) + "/tests/data/";
const std::string sample_zip =
    data + "s1-zipped-safe/S1A_IW_SLC__1SDV_20230108T135249_20230108T135316_046693_0598D3_BA76.zip";
const std::string safe_name = "S1A_IW_SLC__1SDV_20230108T135249_20230108T135316_046693_0598D3_BA76.SAFE";
const std::string annotation_name = "s1a-iw2-slc-vv-20230108t135251-20230108t135316-046693-0598d3-005.xml";
const std::string track108 = data + "s1-track108-annotation/";
const std::string iw2_0406 = track108 + "s1a-iw2-slc-vv-20250406t022010-20250406t022035-058630-07421f-005.xml";
const std::string iw2_0418 = track108 + "s1a-iw2-slc-vv-20250418t022010-20250418t022035-058805-074946-005.xml";
const std::string orbit_layout = data + "s1-track108-orbit-layout/";
const std::string orbit_0406 = "S1A_OPER_AUX_POEORB_OPOD_20250426T022143_V20250406T021903_20250406T022143.EOF";
const std::string orbit_0418 = "S1A_OPER_AUX_POEORB_OPOD_20250508T022143_V20250418T021903_20250418T022143.EOF";

// ---- Zip archives written byte by byte: any name, any declared size. ----

void put(std::string& out, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
}

struct Member {
  std::string name;
  std::string stored;       // the bytes as stored (deflated when method is 8)
  std::uint32_t crc = 0;    // of the content
  std::uint64_t size = 0;   // of the content, as declared
  int method = 0;           // 0 stored, 8 deflated
};

// A stored member of content.
Member stored(const std::string& name, const std::string& content) {
  return {name, content, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(content.data()),
                                                          static_cast<uInt>(content.size()))),
          content.size(), 0};
}

// A deflated member of count zero bytes, built without holding them.
Member zeros(const std::string& name, std::size_t count) {
  z_stream z{};
  deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  const std::string chunk(1 << 20, '\0');
  std::string out;
  char buffer[1 << 16];
  uLong crc = crc32(0, nullptr, 0);
  for (std::size_t left = count; left > 0 || z.avail_in > 0;) {
    if (z.avail_in == 0 && left > 0) {
      const std::size_t n = std::min(left, chunk.size());
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(chunk.data()));
      z.avail_in = static_cast<uInt>(n);
      crc = crc32(crc, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(n));
      left -= n;
    }
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    deflate(&z, left == 0 ? Z_FINISH : Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - z.avail_out);
    if (left == 0 && z.avail_in == 0 && z.avail_out != 0) break;
  }
  deflateEnd(&z);
  return {name, out, static_cast<std::uint32_t>(crc), count, 8};
}

// The archive of members: local headers and data, the central directory,
// its end record.
std::string zip_of(const std::vector<Member>& members) {
  std::string out, directory;
  for (const Member& m : members) {
    const std::size_t offset = out.size();
    put(out, 0x04034b50, 4), put(out, 20, 2), put(out, 0, 2), put(out, m.method, 2), put(out, 0, 4);
    put(out, m.crc, 4), put(out, m.stored.size(), 4), put(out, m.size, 4), put(out, m.name.size(), 2), put(out, 0, 2);
    out += m.name + m.stored;
    put(directory, 0x02014b50, 4), put(directory, 20, 2), put(directory, 20, 2), put(directory, 0, 2);
    put(directory, m.method, 2), put(directory, 0, 4), put(directory, m.crc, 4), put(directory, m.stored.size(), 4);
    put(directory, m.size, 4), put(directory, m.name.size(), 2), put(directory, 0, 6), put(directory, 0, 2);
    put(directory, 0, 4), put(directory, offset, 4);
    directory += m.name;
  }
  const std::size_t at = out.size();
  out += directory;
  put(out, 0x06054b50, 4), put(out, 0, 4), put(out, members.size(), 2), put(out, members.size(), 2);
  put(out, directory.size(), 4), put(out, at, 4), put(out, 0, 2);
  return out;
}

// Every member of archive read, the first refusal's text ("" for none).
std::string read_all(ZipArchive& archive) {
  for (std::size_t k = 0; k < archive.members().size(); ++k) {
    std::string bytes;
    bperp::stack::Refusal problem;
    if (!archive.read(k, bytes, &problem)) return problem.text;
  }
  return {};
}

// Hostile archives: refused when opened (names, counts) or when a member
// is read (sizes that lie, an expansion past the bounds), with a message
// naming the archive; none read past its bound.
TEST(ZipArchive, HostileArchivesAreRefused) {
  std::vector<Member> many;
  for (int k = 0; k <= 10000; ++k) many.push_back(stored(std::to_string(k) + ".txt", ""));
  Member lying = stored("short.xml", "hello, world");
  lying.size = 5;  // declared shorter than it is
  Member huge = stored("huge.xml", "hello");
  huge.size = std::uint64_t{1} << 31;  // declared far longer
  const Member bomb = zeros("bomb.xml", (std::size_t{64} << 20) + 1);
  const Member part = zeros("part.xml", std::size_t{60} << 20);
  struct Case {
    const char* what;
    std::string bytes;
    const char* message;
    bool at_open;
  };
  const Case cases[] = {
      {"absolute path", zip_of({stored("/etc/S1A.EOF", "x")}), "is named with an absolute path", true},
      {"drive letter", zip_of({stored("C:\\x.EOF", "x")}), "is named with an absolute path", true},
      {"parent folder", zip_of({stored("a/../../x.EOF", "x")}), "is named with a \"..\" part", true},
      {"NUL in a name", zip_of({stored(std::string("a.xml\0.EOF", 10), "x")}), "holds a NUL byte", true},
      {"10,001 members", zip_of(many), "holds 10001 members; at most 10000 are read", true},
      {"no zip", std::string("PK\x03\x04 and then nothing"), "can't be read as a zip archive", true},
      {"declared too short", zip_of({lying}), "short.xml: can't be read", false},
      {"declared too long", zip_of({huge}), "huge.xml: can't be read", false},
      {"expands past 64 MiB", zip_of({bomb}), "bomb.xml: expands to more than the 64 MiB read from one member", false},
      {"all past 256 MiB", zip_of({part, part, part, part, part}), "its members hold more than the 256 MiB", false},
  };
  for (const Case& c : cases) {
    bperp::stack::Refusal problem;
    std::unique_ptr<ZipArchive> archive = ZipArchive::open_bytes(c.bytes, "hostile.zip", &problem);
    EXPECT_EQ(archive == nullptr, c.at_open) << c.what;
    const std::string text = archive ? read_all(*archive) : problem.text;
    EXPECT_TRUE(text.starts_with("hostile.zip")) << c.what << ": " << text;
    EXPECT_NE(text.find(c.message), std::string::npos) << c.what << ": " << text;
  }
}

// The command on an archive whose member would land outside its folder:
// refused, and nothing written anywhere.
TEST(ZipArchive, NothingIsWrittenToDisk) {
  TempDir dir;
  const fs::path inner = dir.path() / "inner";
  fs::create_directory(inner);
  const std::string safe = safe_name + "/annotation/";
  const std::string zip = (inner / "product.zip").string();
  test_support::write_bytes(zip, zip_of({stored(safe + "../../../escaped.xml", "<product/>"),
                                         stored(safe + annotation_name, "<product/>")}));
  const RunResult r = run_stack({zip, zip});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("is named with a \"..\" part"), std::string::npos) << r.err;
  std::vector<std::string> found;
  for (const auto& e : fs::recursive_directory_iterator(dir.path())) found.push_back(e.path().string());
  EXPECT_EQ(found, (std::vector<std::string>{inner.string(), zip}));
}

// ---- The zipped sample against its folder ----

// The members of the zip at path, unpacked with libzip itself into dir.
void unpack(const std::string& path, const fs::path& dir) {
  int error = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &error);
  ASSERT_NE(z, nullptr);
  for (zip_int64_t k = 0; k < zip_get_num_entries(z, 0); ++k) {
    const std::string name = zip_get_name(z, static_cast<zip_uint64_t>(k), 0);
    if (name.ends_with("/")) {
      fs::create_directories(dir / name);
      continue;
    }
    fs::create_directories((dir / name).parent_path());
    zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(k), 0);
    std::string bytes;
    char chunk[4096];
    for (zip_int64_t n; (n = zip_fread(f, chunk, sizeof chunk)) > 0;) bytes.append(chunk, static_cast<std::size_t>(n));
    zip_fclose(f);
    test_support::write_bytes((dir / name).string(), bytes);
  }
  zip_discard(z);
}

// The zip, its unpacked folder, the folder's manifest.safe and its
// annotation file give the same reference and the same baseline against a
// moved copy of the annotation; a zip made again with its SAFE one folder
// down among the packing system's debris (AppleDouble files named like the
// annotation, .DS_Store, rfi/ and calibration/ annotations) the same again.
TEST(ZippedSafe, ReadsLikeItsUnpackedFolder) {
  TempDir dir;
  unpack(sample_zip, dir.path() / "unpacked");
  const fs::path safe = dir.path() / "unpacked" / safe_name;
  const std::string annotation = stack_test::read_file((safe / "annotation" / annotation_name).string());
  // 12 days (175 orbits) later: another pass of the same track.
  std::string later = stack_test::shift_dates(annotation, 12);
  const std::string orbit = "<absoluteOrbitNumber>46693<";
  const std::size_t at = later.find(orbit);
  ASSERT_NE(at, std::string::npos);
  later.replace(at, orbit.size(), "<absoluteOrbitNumber>46868<");
  const std::string secondary = dir.write("secondary.xml", later);
  const std::string a = safe_name + "/annotation/" + annotation_name;
  const std::string nested = dir.write(
      "nested.zip",
      zip_of({stored("download/__MACOSX/x", "junk"), stored("__MACOSX/download/" + safe_name + "/annotation/._" + annotation_name, "\0\5\26\7"),
              stored("download/" + safe_name + "/.DS_Store", "junk"), stored("download/" + a, annotation),
              stored("download/" + safe_name + "/annotation/rfi/rfi-" + annotation_name, "<x/>"),
              stored("download/" + safe_name + "/annotation/calibration/calibration-" + annotation_name, "<x/>")}));
  Json first;
  for (const std::string& reference :
       {sample_zip, safe.string(), (safe / "manifest.safe").string(), (safe / "annotation" / annotation_name).string(),
        nested}) {
    const RunResult r = run_stack({"--format", "json", reference, secondary});
    ASSERT_EQ(r.status, 0) << reference << "\n" << r.err;
    Json doc = Json::parse(r.out);
    EXPECT_EQ(doc["reference"]["kind"], "s1-annotation");
    EXPECT_EQ(doc["reference"]["burst_id"], "t071_151231_iw2");
    doc["reference"].erase("name");
    if (first.is_null()) first = doc;
    EXPECT_EQ(doc, first) << reference;
  }
  EXPECT_EQ(first["secondaries"][0]["days"], 12);
}

// The polarisation chooses among the annotations (the sample holds VV
// alone); an archive of orbit files, one without a SAFE folder and one of
// two are refused saying what they hold.
TEST(ZippedSafe, WhatAZipHoldsDecides) {
  TempDir dir;
  const std::string eof = stack_test::read_file(orbit_layout + orbit_0406);
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"--polarisation", "VH", sample_zip}, "no annotation of swath IW2 and polarisation VH"},
      {{dir.write("orbits.zip", zip_of({stored(orbit_0406, eof)}))},
       "is a zip of Sentinel-1 orbit files (give it with --orbit"},
      {{dir.write("other.zip", zip_of({stored("readme.txt", "x")}))}, "holds no SAFE product folder"},
      {{dir.write("two.zip", zip_of({stored("A.SAFE/manifest.safe", "x"), stored("B.SAFE/manifest.safe", "x")}))},
       "holds 2 SAFE product folders (A.SAFE, B.SAFE)"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back(args.back());
    const RunResult r = run_stack(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
}

// ---- Orbit folders ----

// The track-108 pair's orbit files served from a flat folder, two folders
// down (S1A/2025/), zipped one per zip, and both in one zip: the same
// baselines, each orbit named by where it came from.
TEST(OrbitFolders, FlatNestedAndZippedFoldersServeAlike) {
  TempDir dir;
  const std::string first = stack_test::read_file(orbit_layout + orbit_0406);
  const std::string second = stack_test::read_file(orbit_layout + orbit_0418);
  fs::create_directories(dir.path() / "nested" / "S1A" / "2025");
  test_support::write_bytes((dir.path() / "nested" / "S1A" / "2025" / orbit_0406).string(), first);
  test_support::write_bytes((dir.path() / "nested" / "S1A" / orbit_0418).string(), second);
  fs::create_directory(dir.path() / "zipped");
  test_support::write_bytes((dir.path() / "zipped" / (orbit_0406 + ".zip")).string(), zip_of({stored(orbit_0406, first)}));
  test_support::write_bytes((dir.path() / "zipped" / (orbit_0418 + ".zip")).string(), zip_of({stored(orbit_0418, second)}));
  fs::create_directory(dir.path() / "one");
  test_support::write_bytes((dir.path() / "one" / "orbits.zip").string(),
                            zip_of({stored("S1A/" + orbit_0406, first), stored("S1A/" + orbit_0418, second)}));
  Json flat = Json::parse(run_stack({"--format", "json", "--orbit-dir", orbit_layout, iw2_0406, iw2_0418}).out);
  ASSERT_EQ(flat["reference"]["orbit_source"], orbit_0406);
  flat["reference"].erase("orbit_source");
  flat["secondaries"][0].erase("orbit_source");
  for (const char* folder : {"nested", "zipped", "one"}) {
    const RunResult r = run_stack({"--format", "json", "--orbit-dir", (dir.path() / folder).string(), iw2_0406, iw2_0418});
    ASSERT_EQ(r.status, 0) << folder << "\n" << r.err;
    EXPECT_EQ(r.err, "") << folder;
    Json doc = Json::parse(r.out);
    const std::string source = doc["secondaries"][0]["orbit_source"];
    EXPECT_TRUE(source.ends_with(orbit_0418)) << source;
    EXPECT_EQ(source.find('!') != std::string::npos, std::string(folder) != "nested") << source;
    doc["reference"].erase("orbit_source");
    doc["secondaries"][0].erase("orbit_source");
    EXPECT_EQ(doc["secondaries"], flat["secondaries"]) << folder;
    EXPECT_EQ(doc["reference"], flat["reference"]) << folder;
  }
}

// Orbit files that do not cover an acquisition, whether the folder is
// empty, holds another day's file, holds it three folders down or behind a
// link to a folder: the product keeps its own orbit with a warning naming
// it and why (status 0); --require-orbit-files refuses it instead.
TEST(OrbitFolders, UncoveredAcquisitionsFallBackOrAreRefused) {
  TempDir dir;
  const fs::path empty = dir.path() / "empty", other = dir.path() / "other", deep = dir.path() / "deep";
  fs::create_directories(empty);
  fs::create_directories(other);
  fs::create_directories(deep / "a" / "b" / "c");
  fs::copy_file(orbit_layout + orbit_0406, other / orbit_0406);
  fs::copy_file(orbit_layout + orbit_0418, deep / "a" / "b" / "c" / orbit_0418);
  fs::create_directory_symlink(deep / "a" / "b" / "c", other / "linked");
  const std::string uncovered = ": no orbit file of S1A covers 2025-04-18T02:19:10";
  for (const fs::path& folder : {empty, other, deep}) {
    const RunResult kept = run_stack({"--format", "json", "--orbit-dir", folder.string(), iw2_0406, iw2_0418});
    EXPECT_EQ(kept.status, 0) << folder << kept.err;
    EXPECT_NE(kept.err.find("warning: " + iw2_0418 + uncovered), std::string::npos) << kept.err;
    EXPECT_NE(kept.err.find("its own orbit (annotation) is used"), std::string::npos) << kept.err;
    EXPECT_EQ(Json::parse(kept.out)["secondaries"][0]["orbit_source"], "annotation");
    if (folder == deep) {
      EXPECT_NE(kept.err.find("warning: skipped the folder " + (deep / "a" / "b" / "c").string() +
                              ": orbit folders are looked into 2 levels"),
                std::string::npos)
          << kept.err;
    }

    const RunResult refused =
        run_stack({"--format", "json", "--require-orbit-files", "--orbit-dir", folder.string(), iw2_0406, iw2_0418});
    EXPECT_EQ(refused.status, 1) << folder;
    if (folder == other) {  // the reference covered, the secondary's row refused
      const Json row = Json::parse(refused.out)["secondaries"][0];
      EXPECT_EQ(row["error_kind"], "outside_orbit");
      EXPECT_NE(row["error"].get<std::string>().find(uncovered), std::string::npos) << row["error"];
    } else {  // the reference refused: nothing printed
      EXPECT_EQ(refused.out, "");
      EXPECT_NE(refused.err.find(iw2_0406 + ": no orbit file of S1A covers"), std::string::npos) << refused.err;
    }
  }
}

// ---- Files of no kind ----

// Each says what it looks like and which kinds are read.
TEST(ContentKinds, AFileOfNoKindSaysWhatItLooksLike) {
  TempDir dir;
  struct Case {
    std::string name, bytes;
    const char* looks;
  };
  const Case cases[] = {
      {"base.par", stack_test::read_file(data + "gamma-slc-par/20180106-20180130_VV_8rlks_base.par"),
       "it is text of key: value lines (initial_baseline(TCN), initial_baseline_rate, precision_baseline(TCN), "
       "...), but no image parameter file"},
      {"other.xml", "<?xml version='1.0'?>\n<gml:Feature xmlns:gml='http://www.opengis.net/gml'><a/></gml:Feature>",
       "it is XML with the root element <gml:Feature> (namespace http://www.opengis.net/gml), which no reader takes"},
      {"plain.xml", "<root><a/></root>", "it is XML with the root element <root> (no namespace)"},
      {"binary.dat", std::string("\x89PNG\r\n\x1a\n\0\0", 10), "it is binary data (its first bytes: 89 50 4e 47 0d 0a 1a 0a)"},
      {"other.json", "{\"a\": [1, 2]}", "it is JSON without collect.state.state_vectors (Capella's extended metadata)"},
      {"empty.zip", zip_of({}), "holds no SAFE product folder (a .SAFE folder at its top or one folder down): it holds nothing"},
  };
  for (const Case& c : cases) {
    const bperp::stack::Acquisition a = bperp::stack::read_secondary(dir.write(c.name, c.bytes));
    ASSERT_TRUE(a.refusal) << c.name;
    EXPECT_EQ(a.refusal->kind, RefusalKind::unknown_format) << c.name;
    EXPECT_NE(a.refusal->text.find(c.looks), std::string::npos) << a.refusal->text;
    EXPECT_NE(a.refusal->text.find("; bperp-stack reads state-vector and orbit files"), std::string::npos)
        << a.refusal->text;
  }
}

}  // namespace

namespace {

// A CEOS product zip is read by its one leader (LED-*) at the top or one
// folder down, the packer's debris beside it left out; two leaders, or one
// that can't be read, refuse the zip naming them.
TEST(ZippedCeos, TheLeaderAmongTheMembersDecides) {
  TempDir dir;
  const std::string leader_name = "LED-ALOS2015976960-140909-FBDR1.5GUA";
  const std::string leader = stack_test::read_file(data + "alos2-ceos-l15/" + leader_name);
  const Json alone = Json::parse(run_stack({"--format", "json", data + "alos2-ceos-l15/" + leader_name}).out);
  const std::string debris = dir.write(
      "debris.zip", zip_of({stored("__MACOSX/p/._" + leader_name, "\0\5\26\7"), stored("p/" + leader_name, leader),
                            stored("p/IMG-HH-x", "x")}));
  const RunResult r = run_stack({"--format", "json", debris});
  ASSERT_EQ(r.status, 0) << r.err;
  const Json read = Json::parse(r.out)["reference"];
  EXPECT_EQ(read["kind"], "ceos");
  for (const char* key : {"reference_time", "latitude_deg", "longitude_deg", "reference_slant_range_m"})
    EXPECT_EQ(read[key], alone["reference"][key]) << key;

  struct Case {
    std::string zip;
    std::string message;
  };
  const Case cases[] = {
      {dir.write("two.zip", zip_of({stored("LED-a", leader), stored("p/LED-b", leader)})),
       "holds 2 leader files (LED-*: LED-a, p/LED-b)"},
      {dir.write("cut.zip", zip_of({stored("LED-a", leader.substr(0, 700))})), "cut.zip!LED-a: "},
  };
  for (const Case& c : cases) {
    const RunResult refused = run_stack({c.zip});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find(c.message), std::string::npos) << refused.err;
  }
}

}  // namespace
