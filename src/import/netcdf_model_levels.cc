#include "import/netcdf_model_levels.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <sstream>

#include "common/failure.h"
#include "import/ecmwf_l137.h"
#include "import/parameters.h"

namespace i2m {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr size_t kMaxModelLevels = 4096;

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool has_variable(int nc, const char* name) {
  int id = 0;
  return nc_inq_varid(nc, name, &id) == NC_NOERR;
}

// A one-dimensional variable of the file, whole; empty when there is none
// of that name.
std::vector<double> read_vector(int nc, const std::string& name, const std::string& path) {
  int id = 0;
  if (nc_inq_varid(nc, name.c_str(), &id) != NC_NOERR) return {};
  int dims = 0;
  check(nc_inq_varndims(nc, id, &dims), path + ": variable " + name);
  std::vector<int> dim_ids(static_cast<size_t>(std::max(dims, 1)));
  check(nc_inq_vardimid(nc, id, dim_ids.data()), path + ": variable " + name);
  size_t length = 1;
  for (int d = 0; d < dims; ++d) length *= coordinate_length(nc, dim_ids[static_cast<size_t>(d)], kMaxModelLevels * 2, path + ": variable " + name);
  std::vector<double> values(length);
  check(nc_get_var_double(nc, id, values.data()), path + ": variable " + name);
  return values;
}

// CF formula terms: "ap: ap_bnds b: b_bnds ps: ps" as pairs.
std::vector<std::pair<std::string, std::string>> formula_terms(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::pair<std::string, std::string>> terms;
  std::string term, variable;
  while (in >> term >> variable) {
    if (!term.empty() && term.back() == ':') terms.emplace_back(term.substr(0, term.size() - 1), variable);
  }
  return terms;
}

std::string term(const std::vector<std::pair<std::string, std::string>>& terms, const char* name) {
  for (const auto& [t, v] : terms) {
    if (t == name) return v;
  }
  return "";
}

// The half levels of the levels numbered `numbers` from their bounds
// (a value per level and bound): half level k - 1 and k of level k. Half
// levels no level of the file bounds stay NaN.
void half_levels_from_bounds(const std::vector<double>& bounds, const std::vector<double>& numbers, double scale,
                             std::vector<double>& half) {
  for (size_t n = 0; n < numbers.size() && 2 * n + 1 < bounds.size(); ++n) {
    const auto k = static_cast<size_t>(numbers[n]);
    const double upper = std::min(bounds[2 * n], bounds[2 * n + 1]), lower = std::max(bounds[2 * n], bounds[2 * n + 1]);
    half[k - 1] = upper * scale;
    half[k] = lower * scale;
  }
}

// From the bounds' formula terms (ap or a with p0, and b).
HybridCoefficients from_bounds(int nc, const Variable& coordinate, const std::vector<double>& numbers,
                               const std::string& path) {
  const std::string bounds = text_attribute(nc, coordinate.id, "bounds").value_or("");
  int bounds_id = 0;
  if (bounds.empty() || nc_inq_varid(nc, bounds.c_str(), &bounds_id) != NC_NOERR) return {};
  const auto terms = formula_terms(text_attribute(nc, bounds_id, "formula_terms").value_or(""));
  std::string a = term(terms, "ap");
  double scale = 1;
  if (a.empty() && !(a = term(terms, "a")).empty()) {
    const std::vector<double> p0 = read_vector(nc, term(terms, "p0"), path);
    if (p0.size() != 1) return {};
    scale = p0[0];
  }
  const std::vector<double> a_bounds = read_vector(nc, a, path), b_bounds = read_vector(nc, term(terms, "b"), path);
  if (a_bounds.size() != 2 * numbers.size() || b_bounds.size() != 2 * numbers.size()) return {};
  const auto nlev = static_cast<size_t>(*std::max_element(numbers.begin(), numbers.end()));
  std::vector<double> half_a(nlev + 1, kNaN), half_b(nlev + 1, kNaN);
  half_levels_from_bounds(a_bounds, numbers, scale, half_a);
  half_levels_from_bounds(b_bounds, numbers, 1.0, half_b);
  half_a.insert(half_a.end(), half_b.begin(), half_b.end());
  return half_a;
}

}  // namespace

bool is_model_level_coordinate(int nc, const Variable& v) {
  if (one_of(v.name, {"model_level", "hybrid"})) return true;
  if (one_of(v.standard_name, {"atmosphere_hybrid_sigma_pressure_coordinate", "hybrid_sigma_pressure"})) return true;
  const std::string long_name = lower(text_attribute(nc, v.id, "long_name").value_or(""));
  if (long_name.find("model level") != std::string::npos || long_name.find("hybrid level") != std::string::npos) return true;
  const bool pressure_units = v.units == "Pa" || is_hectopascal_unit(v.units);
  return one_of(v.name, {"lev", "level"}) && !pressure_units && has_variable(nc, "hyai") && has_variable(nc, "hybi");
}

std::shared_ptr<const HybridCoefficients> model_level_coefficients(int nc, const Variable& coordinate,
                                                                   const std::vector<double>& numbers,
                                                                   const std::string& path, bool& from_table) {
  from_table = false;
  for (double k : numbers) {
    if (!(k >= 1 && k <= static_cast<double>(kMaxModelLevels)) || k != std::floor(k)) {
      fail_file(path + ": variable " + coordinate.name, "holds " + std::to_string(k) + ", not a model level number");
    }
  }
  if (numbers.empty()) fail_file(path + ": variable " + coordinate.name, "holds no model level");
  // CDO's coefficients of the half levels, a in Pa.
  std::vector<double> a = read_vector(nc, "hyai", path), b = read_vector(nc, "hybi", path);
  if (!a.empty() && a.size() == b.size()) {
    a.insert(a.end(), b.begin(), b.end());
    return std::make_shared<const HybridCoefficients>(std::move(a));
  }
  if (HybridCoefficients pv = from_bounds(nc, coordinate, numbers, path); !pv.empty()) {
    return std::make_shared<const HybridCoefficients>(std::move(pv));
  }
  if (*std::max_element(numbers.begin(), numbers.end()) > kL137Levels) {
    fail_file(path + ": variable " + coordinate.name,
              "model levels without the coefficients of their levels (hyai and hybi, or the formula terms of its "
              "bounds), and not within ECMWF's 137 levels");
  }
  from_table = true;
  return std::make_shared<const HybridCoefficients>(ecmwf_l137());
}

}  // namespace i2m
