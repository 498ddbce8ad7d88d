#include "camera/validation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>

#include "phantom/family.h"
#include "render/text.h"

namespace quorvel::camera {

namespace {

constexpr int kQuickHearts = 6, kFullHearts = 24;
constexpr int kFineHearts = 4;  // full suite: hearts also acquired on a 128 matrix
// The body (290 x 330 mm) inside the field of view, the collimator's orbit (250 mm) outside it.
constexpr double kMinFieldMm = 410.0, kMaxFieldMm = 450.0;
constexpr int kSuiteMatrix = 64, kFineMatrix = 128;
constexpr double kLimitsZ = 1.96;
// Family factors that the camera settings replace.
const std::set<std::string> kImageSpaceFactors = {"matrix", "pixel", "counts"};

constexpr size_t kButterworthPrefix = 14;  // "butterworth:5:" before the cutoff

struct Setting {
  bool attenuationCorrection;
  const char* filter;
  double secondsPerAngle;
  int matrix = kSuiteMatrix;
};

// The heart on the camera's grid: a field of view that holds the body, cubic voxels.
phantom::PhantomParams onCameraGrid(phantom::PhantomParams p, int matrix) {
  p.matrix = matrix;
  p.pixel_mm = std::clamp(p.pixel_mm, kMinFieldMm / matrix, kMaxFieldMm / matrix);
  p.slices = matrix;
  p.slice_mm = p.pixel_mm;
  p.fwhm_mm = 0, p.noise = false;
  return p;
}

std::string fixed(double v, int decimals) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

}  // namespace

std::vector<SuiteCase> suiteCases(Suite suite, uint64_t seed, int hearts) {
  if (hearts <= 0) hearts = suite == Suite::Quick ? kQuickHearts : kFullHearts;
  std::vector<Setting> settings;
  for (bool ac : {false, true}) {
    if (suite == Suite::Quick) {
      settings.push_back({ac, "butterworth:5:0.4", 25.0});
      continue;
    }
    for (const char* filter : {"butterworth:5:0.4", "butterworth:5:0.6"})
      for (double seconds : {25.0, 12.0}) settings.push_back({ac, filter, seconds});
  }
  std::vector<Setting> fine;
  if (suite == Suite::Full)
    for (bool ac : {false, true}) fine.push_back({ac, "butterworth:5:0.4", 25.0, kFineMatrix});
  std::vector<SuiteCase> out;
  for (int h = 0, drawn = 0; h < hearts; ++drawn) {
    const phantom::FamilyCase fc = phantom::drawFamilyCase(phantom::FamilySplit::Tuning, drawn);
    std::vector<Setting> all = settings;
    if (h < kFineHearts) all.insert(all.end(), fine.begin(), fine.end());
    // The anatomy's checks are slow: once per grid.
    bool fits = phantom::validate(onCameraGrid(fc.params, kSuiteMatrix)).empty();
    if (fits && h < kFineHearts && !fine.empty())
      fits = phantom::validate(onCameraGrid(fc.params, kFineMatrix)).empty();
    if (!fits) continue;  // the heart does not fit the camera's grid
    for (size_t s = 0; s < all.size(); ++s) {
      const Setting& st = all[s];
      SuiteCase c;
      char name[64];
      std::snprintf(name, sizeof name, "heart%02d-%s-bw%s-%gs%s", h, st.attenuationCorrection ? "ac" : "noac",
                    st.filter + kButterworthPrefix, st.secondsPerAngle, st.matrix == kFineMatrix ? "-m128" : "");
      c.name = name;
      c.protocol = c.name.substr(c.name.find('-') + 1);
      c.heart = h;
      c.params = onCameraGrid(fc.params, st.matrix);
      c.acquisition.seconds_per_angle = st.secondsPerAngle;
      c.acquisition.seed = (seed * 1000003ULL + static_cast<uint64_t>(h)) * 64 + s + 1;
      c.recon.attenuation_correction = st.attenuationCorrection;
      parseFilter(st.filter, c.recon.filter);
      for (const auto& f : fc.factors)
        if (!kImageSpaceFactors.count(f.first)) c.factors.push_back(f);
      c.factors.emplace_back("attenuation correction", st.attenuationCorrection ? "on" : "off");
      c.factors.emplace_back("filter", st.filter);
      c.factors.emplace_back("time per angle", fixed(st.secondsPerAngle, 0) + " s");
      c.factors.emplace_back("matrix", std::to_string(st.matrix));
      out.push_back(std::move(c));
    }
    ++h;
  }
  return out;
}

const std::vector<Measure>& measures() {
  static const std::vector<Measure> m = {{"lvef", "LVEF (%)", false},
                                         {"rvef", "RVEF (%)", false},
                                         {"lvedv", "LVEDV (ml)", true},
                                         {"rvedv", "RVEDV (ml)", true}};
  return m;
}

Agreement agreementOf(const std::vector<CaseOutcome>& outcomes, size_t m) {
  Agreement a;
  double sum = 0, sum2 = 0, percent = 0;
  for (const CaseOutcome& o : outcomes) {
    if (o.measured.size() <= m || o.truth.size() <= m) continue;
    const double d = o.measured[m] - o.truth[m];
    sum += d, sum2 += d * d, ++a.n;
    if (o.truth[m] != 0) percent += 100.0 * d / o.truth[m];
  }
  if (a.n == 0) return a;
  a.bias = sum / a.n;
  a.biasPercent = percent / a.n;
  a.sd = a.n > 1 ? std::sqrt(std::max(0.0, (sum2 - a.n * a.bias * a.bias) / (a.n - 1))) : 0.0;
  a.lower = a.bias - kLimitsZ * a.sd, a.upper = a.bias + kLimitsZ * a.sd;
  return a;
}

namespace {

std::vector<KnownVolume> knownVolumes(const std::vector<CaseOutcome>& outcomes, const std::string& protocol,
                                      int parity) {
  constexpr size_t kEdv[2] = {2, 3};  // measures of the left and right end-diastolic volumes
  std::vector<KnownVolume> known;
  for (const CaseOutcome& o : outcomes)
    if (o.protocol == protocol && o.status == "ok" && !o.measured.empty() && (parity < 0 || o.heart % 2 == parity))
      for (int v = 0; v < 2; ++v) known.push_back({v, o.measured[kEdv[v]], o.truth[kEdv[v]]});
  return known;
}

void addOnce(std::vector<std::string>& names, const std::string& name) {
  if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}

std::vector<std::string> protocolsOf(const std::vector<CaseOutcome>& outcomes) {
  std::vector<std::string> p;
  for (const CaseOutcome& o : outcomes) addOnce(p, o.protocol);
  return p;
}

// Every factor's name in the order it first appears.
std::vector<std::string> factorsOf(const std::vector<CaseOutcome>& outcomes) {
  std::vector<std::string> factors;
  for (const CaseOutcome& o : outcomes)
    for (const auto& f : o.factors) addOnce(factors, f.first);
  return factors;
}

}  // namespace

std::vector<CaseOutcome> heldOutCalibrated(const std::vector<CaseOutcome>& outcomes) {
  constexpr size_t kEdv[2] = {2, 3};
  std::vector<CaseOutcome> out;
  for (const CaseOutcome& o : outcomes) {
    if (o.status != "ok" || o.measured.empty()) continue;
    const VolumeCalibration c = fitVolumeCalibration(knownVolumes(outcomes, o.protocol, 1 - o.heart % 2), "held out");
    if (c.pairs[0] == 0) continue;  // nothing to fit on
    CaseOutcome k = o;
    for (int v = 0; v < 2; ++v) k.measured[kEdv[v]] *= c.factor[v];
    out.push_back(std::move(k));
  }
  return out;
}

std::vector<std::pair<std::string, VolumeCalibration>> protocolCalibrations(const std::vector<CaseOutcome>& outcomes) {
  std::vector<std::pair<std::string, VolumeCalibration>> out;
  for (const std::string& p : protocolsOf(outcomes)) {
    const std::vector<KnownVolume> known = knownVolumes(outcomes, p, -1);
    if (!known.empty())
      out.emplace_back(p, fitVolumeCalibration(known, "simulated camera studies, protocol " + p + ", " +
                                                          std::to_string(known.size() / 2) + " studies"));
  }
  return out;
}

std::string validationReport(const std::vector<CaseOutcome>& outcomes, const std::string& title) {
  std::ostringstream r;
  const auto& ms = measures();
  int analysed = 0;
  for (const CaseOutcome& o : outcomes) analysed += !o.measured.empty();
  int warned = 0;
  for (const CaseOutcome& o : outcomes) warned += o.status == "warned";
  r << "# " << title << "\n\n"
    << analysed << " of " << outcomes.size() << " simulated studies analysed, " << warned
    << " of them with warnings. Differences are measured minus true; limits of agreement are the bias -/+ 1.96 SD.\n";
  std::vector<CaseOutcome> unwarned;
  for (const CaseOutcome& o : outcomes)
    if (o.status != "warned") unwarned.push_back(o);
  using Block = std::pair<const char*, const std::vector<CaseOutcome>*>;
  for (const auto& [heading, set] :
       {Block{"Every analysed study", &outcomes}, Block{"Studies without warnings", &unwarned}}) {
    r << "\n## " << heading
      << "\n\n| Result | n | Bias | SD | Limits of agreement | Bias (% of truth) |\n|---|---|---|---|---|---|\n";
    for (size_t m = 0; m < ms.size(); ++m) {
      const Agreement a = agreementOf(*set, m);
      r << "| " << ms[m].label << " | " << a.n << " | " << fixed(a.bias, 1) << " | " << fixed(a.sd, 1) << " | "
        << fixed(a.lower, 1) << " to " << fixed(a.upper, 1) << " | " << (ms[m].volume ? fixed(a.biasPercent, 1) : "")
        << " |\n";
    }
  }
  const std::vector<CaseOutcome> calibrated = heldOutCalibrated(outcomes);
  r << "\n## Calibrated volumes, studies without warnings\n\nPer protocol, fitted through the origin on the "
       "end-diastolic volumes of the other parity of hearts; ejection fractions are unchanged.\n\n"
       "| Result | n | Bias | SD | Limits of agreement | Bias (% of truth) |\n|---|---|---|---|---|---|\n";
  for (size_t m = 2; m < ms.size(); ++m) {
    const Agreement a = agreementOf(calibrated, m);
    r << "| " << ms[m].label << " calibrated | " << a.n << " | " << fixed(a.bias, 1) << " | " << fixed(a.sd, 1) << " | "
      << fixed(a.lower, 1) << " to " << fixed(a.upper, 1) << " | " << fixed(a.biasPercent, 1) << " |\n";
  }
  r << "\n| Protocol | n | LVEDV bias (% of truth) | calibrated | RVEDV bias (% of truth) | calibrated |\n"
       "|---|---|---|---|---|---|\n";
  for (const std::string& p : protocolsOf(outcomes)) {
    std::vector<CaseOutcome> plain, cal;
    for (const CaseOutcome& o : outcomes)
      if (o.protocol == p && o.status == "ok" && !o.measured.empty()) plain.push_back(o);
    for (const CaseOutcome& o : calibrated)
      if (o.protocol == p) cal.push_back(o);
    r << "| " << p << " | " << cal.size() << " | " << fixed(agreementOf(plain, 2).biasPercent, 1) << " | "
      << fixed(agreementOf(cal, 2).biasPercent, 1) << " | " << fixed(agreementOf(plain, 3).biasPercent, 1) << " | "
      << fixed(agreementOf(cal, 3).biasPercent, 1) << " |\n";
  }
  r << "\n## By factor, every analysed study (bias -/+ SD; volumes in % of the truth)\n\n| Factor | Level | n |";
  for (const Measure& m : ms) r << " " << m.label << " |";
  r << "\n|---|---|---|";
  for (size_t m = 0; m < ms.size(); ++m) r << "---|";
  r << "\n";
  for (const std::string& factor : factorsOf(outcomes)) {
    std::vector<std::string> levels;
    for (const CaseOutcome& o : outcomes)
      for (const auto& f : o.factors)
        if (f.first == factor) addOnce(levels, f.second);
    for (const std::string& level : levels) {
      std::vector<CaseOutcome> subset;
      for (const CaseOutcome& o : outcomes)
        for (const auto& f : o.factors)
          if (f.first == factor && f.second == level) subset.push_back(o);
      r << "| " << factor << " | " << level << " | " << agreementOf(subset, 0).n << " |";
      for (size_t m = 0; m < ms.size(); ++m) {
        const Agreement a = agreementOf(subset, m);
        r << " " << (a.n ? fixed(ms[m].volume ? a.biasPercent : a.bias, 1) + " -/+ " + fixed(a.sd, 1) : "") << " |";
      }
      r << "\n";
    }
  }
  bool anyFailure = false;
  for (const CaseOutcome& o : outcomes)
    if (o.measured.empty()) {
      if (!anyFailure) r << "\n## Studies without results\n\n";
      anyFailure = true;
      r << "- " << o.name << ": " << o.status << "\n";
    }
  return r.str();
}

std::string validationCsv(const std::vector<CaseOutcome>& outcomes) {
  std::ostringstream r;
  const std::vector<std::string> factors = factorsOf(outcomes);
  r << "case,status";
  for (const std::string& f : factors) r << "," << f;
  for (const Measure& m : measures()) r << ",true " << m.key << ",measured " << m.key;
  r << "\n";
  for (const CaseOutcome& o : outcomes) {
    r << o.name << "," << o.status;
    for (const std::string& f : factors) {
      std::string level;
      for (const auto& of : o.factors)
        if (of.first == f) level = of.second;
      r << "," << level;
    }
    for (size_t m = 0; m < measures().size(); ++m)
      r << "," << (m < o.truth.size() ? fixed(o.truth[m], 2) : "") << ","
        << (m < o.measured.size() ? fixed(o.measured[m], 2) : "");
    r << "\n";
  }
  return r.str();
}

Bitmap24 blandAltmanPicture(const std::vector<CaseOutcome>& outcomes, size_t m) {
  constexpr Rgb kBackground{255, 255, 255}, kAxis{60, 60, 60}, kGrid{215, 215, 215}, kPoint{30, 90, 200},
      kBias{200, 40, 40}, kLimit{230, 130, 40}, kWarned{120, 120, 120};
  constexpr int kLeft = 64, kRight = 24, kTop = 36, kBottom = 48;
  Bitmap24 b(kAgreementWidth, kAgreementHeight);
  b.fill(kBackground);
  const Agreement a = agreementOf(outcomes, m);
  struct Point {
    double mean, difference;
    bool warned;
  };
  std::vector<Point> points;
  for (const CaseOutcome& o : outcomes)
    if (o.measured.size() > m)
      points.push_back({(o.measured[m] + o.truth[m]) / 2, o.measured[m] - o.truth[m], o.status == "warned"});
  double xlo = 0, xhi = 1, ylo = std::min({0.0, a.lower}), yhi = std::max({0.0, a.upper});
  if (!points.empty()) {
    xlo = xhi = points[0].mean;
    for (const Point& p : points)
      xlo = std::min(xlo, p.mean), xhi = std::max(xhi, p.mean), ylo = std::min(ylo, p.difference),
      yhi = std::max(yhi, p.difference);
  }
  // Round axes with a margin.
  auto niceStep = [](double span) {
    const double raw = span / 6, mag = std::pow(10.0, std::floor(std::log10(std::max(raw, 1e-9))));
    for (double f : {1.0, 2.0, 5.0, 10.0})
      if (raw <= f * mag) return f * mag;
    return 10 * mag;
  };
  const double xs = niceStep(std::max(xhi - xlo, 1.0)), ys = niceStep(std::max(yhi - ylo, 1.0));
  // Means of ejection fractions and volumes are never negative: the axis starts at 0 at the lowest.
  xlo = std::max(xlo >= 0 ? 0.0 : xlo - xs, std::floor(xlo / xs) * xs - xs), xhi = std::ceil(xhi / xs) * xs + xs;
  ylo = std::floor(ylo / ys) * ys - ys, yhi = std::ceil(yhi / ys) * ys + ys;
  const int w = kAgreementWidth - kLeft - kRight, h = kAgreementHeight - kTop - kBottom;
  auto px = [&](double x) { return kLeft + static_cast<int>(std::lround((x - xlo) / (xhi - xlo) * w)); };
  auto py = [&](double y) { return kTop + static_cast<int>(std::lround((yhi - y) / (yhi - ylo) * h)); };
  auto hline = [&](int y, Rgb c, bool dashed) {
    for (int x = kLeft; x <= kLeft + w; ++x)
      if (!dashed || (x / 6) % 2 == 0) b.set(x, y, c);
  };
  for (double y = ylo; y <= yhi + 1e-9; y += ys) {
    hline(py(y), kGrid, false);
    drawText(b, 4, py(y) - 4, fixed(y, ys < 1 ? 1 : 0), kAxis);
  }
  for (double x = xlo; x <= xhi + 1e-9; x += xs) {
    for (int y = kTop; y <= kTop + h; ++y) b.set(px(x), y, kGrid);
    const std::string t = fixed(x, xs < 1 ? 1 : 0);
    drawText(b, px(x) - textWidth(t) / 2, kTop + h + 6, t, kAxis);
  }
  for (int x = kLeft; x <= kLeft + w; ++x) b.set(x, kTop + h, kAxis), b.set(x, kTop, kAxis);
  for (int y = kTop; y <= kTop + h; ++y) b.set(kLeft, y, kAxis), b.set(kLeft + w, y, kAxis);
  hline(py(0), kAxis, false);
  if (a.n > 0) {
    hline(py(a.bias), kBias, false);
    hline(py(a.lower), kLimit, true);
    hline(py(a.upper), kLimit, true);
  }
  // Studies with warnings as open squares, the others as dots.
  for (const Point& p : points)
    for (int dx = -3; dx <= 3; ++dx)
      for (int dy = -3; dy <= 3; ++dy) {
        const bool mark = p.warned ? std::max(std::abs(dx), std::abs(dy)) == 3 : dx * dx + dy * dy <= 5;
        if (mark) b.set(px(p.mean) + dx, py(p.difference) + dy, p.warned ? kWarned : kPoint);
      }
  const Measure& ms = measures()[m];
  drawText(b, kLeft, 10,
           std::string(ms.label) + ": measured - true against their mean (n = " + std::to_string(a.n) + ")", kAxis);
  const std::string key = "bias " + fixed(a.bias, 1) + ", limits " + fixed(a.lower, 1) + " to " + fixed(a.upper, 1);
  drawText(b, kLeft, kAgreementHeight - 18, key, kBias);
  const std::string legend = "open squares: studies with warnings";
  drawText(b, kAgreementWidth - kRight - textWidth(legend), kAgreementHeight - 18, legend, kWarned);
  return b;
}

}  // namespace quorvel::camera
