// Writes HDF5 files with the C API for the tests of the HDF5 products:
// datasets of doubles, integers and text, text attributes, the groups on
// the way made as needed.
#pragma once

#include <gtest/gtest.h>
#include <hdf5.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace test_support {

class Hdf5Writer {
 public:
  explicit Hdf5Writer(const std::string& path)
      : file_(H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT)),
        links_(H5Pcreate(H5P_LINK_CREATE)) {
    EXPECT_GE(file_, 0) << path;
    H5Pset_create_intermediate_group(links_, 1);
  }
  ~Hdf5Writer() {
    H5Pclose(links_);
    H5Fclose(file_);
  }
  Hdf5Writer(const Hdf5Writer&) = delete;
  Hdf5Writer& operator=(const Hdf5Writer&) = delete;

  hid_t file() const { return file_; }
  hid_t links() const { return links_; }

  // values as a dataset of dims (none: a scalar) of type (a float or integer type).
  void numbers(const std::string& path, const std::vector<double>& values,
               const std::vector<hsize_t>& dims, hid_t type = H5T_IEEE_F64LE) {
    const hid_t space = dims.empty()
                            ? H5Screate(H5S_SCALAR)
                            : H5Screate_simple(static_cast<int>(dims.size()), dims.data(), nullptr);
    const hid_t ds = H5Dcreate2(file_, path.c_str(), type, space, links_, H5P_DEFAULT, H5P_DEFAULT);
    EXPECT_GE(ds, 0) << path;
    if (!values.empty()) {
      EXPECT_GE(H5Dwrite(ds, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()), 0);
    }
    H5Dclose(ds);
    H5Sclose(space);
  }
  void list(const std::string& path, const std::vector<double>& values) {
    numbers(path, values, {values.size()});
  }
  // A scalar text dataset (fixed length, NUL-padded, or variable length).
  void text(const std::string& path, const std::string& value, bool variable = false) {
    const hid_t type = string_type(value, variable);
    const hid_t space = H5Screate(H5S_SCALAR);
    const hid_t ds = H5Dcreate2(file_, path.c_str(), type, space, links_, H5P_DEFAULT, H5P_DEFAULT);
    write_text(value, variable, [&](const void* data) {
      return H5Dwrite(ds, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, data);
    });
    H5Dclose(ds);
    H5Sclose(space);
    H5Tclose(type);
  }
  // A scalar text attribute name on the object (dataset or group) at path.
  void attribute(const std::string& path, const char* name, const std::string& value) {
    attribute_of(file_, path, name, value);
  }
  // The same in any open file.
  static void attribute_of(hid_t file, const std::string& path, const char* name, const std::string& value) {
    const hid_t object = H5Oopen(file, path.c_str(), H5P_DEFAULT);
    const hid_t type = string_type(value, false);
    const hid_t space = H5Screate(H5S_SCALAR);
    const hid_t a = H5Acreate2(object, name, type, space, H5P_DEFAULT, H5P_DEFAULT);
    write_text(value, false, [&](const void* data) { return H5Awrite(a, type, data); });
    H5Aclose(a);
    H5Sclose(space);
    H5Tclose(type);
    H5Oclose(object);
  }

 private:
  static hid_t string_type(const std::string& value, bool variable) {
    const hid_t type = H5Tcopy(H5T_C_S1);
    H5Tset_size(type, variable ? H5T_VARIABLE : std::max<std::size_t>(value.size(), 1));
    if (!variable) H5Tset_strpad(type, H5T_STR_NULLPAD);
    return type;
  }
  static void write_text(const std::string& value, bool variable,
                         const std::function<herr_t(const void*)>& write) {
    const char* pointer = value.c_str();
    EXPECT_GE(write(variable ? static_cast<const void*>(&pointer) : value.c_str()), 0);
  }
  hid_t file_, links_;
};

}  // namespace test_support
