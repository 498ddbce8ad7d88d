#include "node/forwarding.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmnet/scu.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <ctime>
#include <fstream>
#include <set>

#include "base/byte_reader.h"
#include "node/dicom_net.h"
#include "node/image_header.h"
#include "node/node_log.h"

namespace quorvel::node {

namespace fs = std::filesystem;

namespace {

constexpr char kDeliveryExtension[] = ".delivery";

struct Delivery {
  Destination to;
  int attempts = 0;
  int64_t due = 0;  // seconds since the epoch
  std::vector<fs::path> files;
};

int64_t nowSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

bool save(const fs::path& p, const Delivery& d) {
  std::string text = d.to.text() + "\n" + std::to_string(d.attempts) + "\n" + std::to_string(d.due) + "\n";
  for (const auto& f : d.files) text += f.string() + "\n";
  return writeFileAtomically(p, std::string_view(text));
}

std::optional<Delivery> load(const fs::path& p) {
  std::ifstream in(p);
  std::string dest, attempts, due;
  if (!std::getline(in, dest) || !std::getline(in, attempts) || !std::getline(in, due)) return std::nullopt;
  Delivery d;
  const auto to = parseDestination(dest);
  if (!to) return std::nullopt;
  d.to = *to;
  try {
    d.attempts = std::stoi(attempts);
    d.due = std::stoll(due);
  } catch (...) {
    return std::nullopt;
  }
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) d.files.emplace_back(line);
  return d;
}

}  // namespace

std::optional<Destination> parseDestination(std::string_view text) {
  const size_t at = text.find('@'), colon = text.rfind(':');
  if (at == std::string_view::npos || colon == std::string_view::npos || colon < at || at == 0 || at > 16 ||
      colon == at + 1)
    return std::nullopt;
  unsigned port = 0;
  const std::string_view digits = text.substr(colon + 1);
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
  if (ec != std::errc() || end != digits.data() + digits.size() || port == 0 || port > 65535) return std::nullopt;
  return Destination{std::string(text.substr(0, at)), std::string(text.substr(at + 1, colon - at - 1)),
                     static_cast<uint16_t>(port)};
}

std::string sendFiles(const Caller& from, const Destination& to, const std::vector<fs::path>& files) {
  NodeScu scu(from, to);
  std::vector<std::string> classes;
  std::set<std::string> proposed;
  const OFList<OFString> syntaxes = uncompressedSyntaxes();
  for (const auto& f : files) {
    classes.push_back(readImageHeader(f).sopClassUid);
    if (classes.back().empty()) return "cannot read " + f.filename().string();
    if (proposed.insert(classes.back()).second) scu.addPresentationContext(classes.back().c_str(), syntaxes);
  }
  if (std::string why = scu.connect(); !why.empty()) return why;
  std::string why;
  for (size_t i = 0; i < files.size() && why.empty(); ++i) {
    const T_ASC_PresentationContextID id = scu.findPresentationContextID(classes[i].c_str(), "");
    if (id == 0) {
      why = "the destination takes no " + classes[i];
      break;
    }
    Uint16 status = 0;
    const OFCondition c = scu.sendSTORERequest(id, files[i].c_str(), nullptr, status);
    if (c.bad())
      why = std::string("sending ") + files[i].filename().string() + ": " + c.text();
    else if (status != STATUS_Success) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "%04x", status);
      why = files[i].filename().string() + " refused with status " + hex;
    }
  }
  if (why.empty())
    scu.releaseAssociation();
  else
    scu.abortAssociation();
  return why;
}

Outbox::Outbox(fs::path folder, std::chrono::seconds firstRetry) : folder_(std::move(folder)), firstRetry_(firstRetry) {
  std::error_code ec;
  fs::create_directories(folder_, ec);
}

bool Outbox::add(const Destination& to, const std::vector<fs::path>& files) {
  const std::string name =
      std::to_string(nowSeconds()) + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter_);
  return save(folder_ / (name + kDeliveryExtension), Delivery{to, 0, nowSeconds(), files});
}

size_t Outbox::pending() const {
  size_t n = 0;
  std::error_code ec;
  for (const auto& f : fs::directory_iterator(folder_, ec)) n += f.path().extension() == kDeliveryExtension;
  return n;
}

void Outbox::deliverDue(const Caller& from, NodeLog& log) {
  std::error_code ec;
  std::vector<fs::path> queued;
  for (const auto& f : fs::directory_iterator(folder_, ec))
    if (f.path().extension() == kDeliveryExtension) queued.push_back(f.path());
  std::sort(queued.begin(), queued.end());
  for (const fs::path& p : queued) {
    std::optional<Delivery> d = load(p);
    if (!d) {
      log.line("dropped an unreadable delivery " + p.filename().string());
      fs::remove(p, ec);
      continue;
    }
    if (d->due > nowSeconds()) continue;
    const std::string why = sendFiles(from, d->to, d->files);
    if (why.empty()) {
      log.line("sent " + std::to_string(d->files.size()) + " files to " + d->to.text());
      fs::remove(p, ec);
      continue;
    }
    // The delay doubles with every failure, up to an hour.
    auto delay = firstRetry_;
    for (int k = 0; k < d->attempts && delay < kLongestRetryDelay; ++k) delay *= 2;
    delay = std::min(delay, std::chrono::duration_cast<std::chrono::seconds>(kLongestRetryDelay));
    ++d->attempts;
    d->due = nowSeconds() + delay.count();
    save(p, *d);
    log.line("could not send to " + d->to.text() + " (attempt " + std::to_string(d->attempts) + "): " + why +
             "; next try in " + std::to_string(delay.count()) + " s");
  }
}

}  // namespace quorvel::node
