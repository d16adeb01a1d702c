// What the fuzz harnesses of the stack's product readers check of any
// product they accept and of any refusal: the properties every reader
// promises whatever the bytes.
#pragma once

#include <optional>
#include <string>

#include "bperp/stack/inputs/product.h"

namespace bperp::fuzz {

// A refusal starts with the name the reader was given, then ": ", and is
// one printable line.
void check_refusal(const std::string& problem, const std::string& name);

// An orbit of at least orbit_min_rows rows in strictly increasing time from
// 0 s, every number finite.
void check_orbit(const stack::TimedOrbit& orbit);

// A value there, finite and positive.
bool positive(const std::optional<double>& v);

// A product's radar and default target: a positive frequency, and either
// image times in order with near and far ranges positive and in order, or
// a stated scene centre of geodetic degrees or finite earth-fixed metres.
void check_target(const stack::ProductInfo& p);

}  // namespace bperp::fuzz
