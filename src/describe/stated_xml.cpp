// What the XML formats state: XRDML measurements and scans, BRML raw-data members and RASX
// measurement conditions.
#include <initializer_list>
#include <string_view>

#include "describe/stated.hpp"
#include "xml/tree.hpp"

namespace vorlen::stated {

namespace {

using xml::Element;

// The element reached from `from` through the first child of each name in turn.
const Element* path(const Element* from, std::initializer_list<std::string_view> names) {
  for (std::string_view name : names) {
    if (from == nullptr) return nullptr;
    from = from->child(name);
  }
  return from;
}

const Element* first(const Element* from, std::string_view name) {
  if (from == nullptr) return nullptr;
  const std::vector<const Element*> found = from->all(name);
  return found.empty() ? nullptr : found.front();
}

std::optional<double> number_of(const Element* e) { return e ? number(e->text) : std::nullopt; }
std::optional<std::string> text_of(const Element* e) { return e ? text(e->text) : std::nullopt; }

std::optional<std::string_view> attribute(const Element* e, std::string_view key) {
  return e ? e->attr(key) : std::nullopt;
}

std::optional<double> number_attribute(const Element* e, std::string_view key) {
  const auto value = attribute(e, key);
  return value ? number(*value) : std::nullopt;
}

}  // namespace

Stated xrdml(const XrdmlScan& scan) {
  Stated out;
  Metadata& m = out.metadata;
  const Element* used = scan.measurement.child("usedWavelength");
  m.wavelength_alpha1 = number_of(path(used, {"kAlpha1"}));
  m.wavelength_alpha2 = number_of(path(used, {"kAlpha2"}));
  m.alpha_ratio = number_of(path(used, {"ratioKAlpha2KAlpha1"}));
  m.anode = text_of(path(&scan.measurement, {"incidentBeamPath", "xRayTube", "anodeMaterial"}));
  m.sample = text_of(path(&scan.root, {"sample", "name"}));
  if (!m.sample) m.sample = text_of(path(&scan.root, {"sample", "id"}));
  m.started = text_of(path(&scan.scan, {"header", "startTimeStamp"}));
  const Element* data_points = scan.scan.child("dataPoints");
  m.step_time = number_of(path(data_points, {"commonCountingTime"}));
  // The intensities the reader takes: corrected ones, else raw counts.
  const Element* intensities = path(data_points, {"intensities"});
  if (intensities == nullptr) intensities = path(data_points, {"counts"});
  if (const auto unit = attribute(intensities, "unit")) out.y_unit = y_unit(*unit);
  return out;
}

Stated brml(const Element* raw_data, const Element* route) {
  Stated out;
  Metadata& m = out.metadata;
  const Element* tube = first(raw_data, "Tube");
  m.wavelength_alpha1 = number_attribute(path(tube, {"WaveLengthAlpha1"}), "Value");
  m.wavelength_alpha2 = number_attribute(path(tube, {"WaveLengthAlpha2"}), "Value");
  m.alpha_ratio = number_attribute(path(tube, {"WaveLengthRatio"}), "Value");
  m.anode = text_of(path(tube, {"TubeMaterial"}));
  if (raw_data != nullptr) {
    for (const Element* info : raw_data->all("InfoItem")) {
      if (info->attr("Name") != std::optional<std::string_view>("SampleName")) continue;
      if (const auto value = info->attr("Value")) m.sample = text(*value);
      break;
    }
  }
  m.started = text_of(path(raw_data, {"TimeStampStarted"}));
  // With a position-sensitive detector the effective time is the one other exports state.
  const Element* scan = first(route, "ScanInformation");
  m.step_time = number_of(path(scan, {"TimePerStepEffective"}));
  if (!m.step_time) m.step_time = number_of(path(scan, {"TimePerStep"}));
  if (const auto unit = attribute(path(first(route, "Recording"), {"Unit"}), "Base")) {
    out.y_unit = y_unit(*unit);
  }
  return out;
}

Stated rasx(const Element* conditions) {
  Stated out;
  Metadata& m = out.metadata;
  const Element* generator = path(conditions, {"HWConfigurations", "XrayGenerator"});
  m.wavelength_alpha1 = number_of(path(generator, {"WavelengthKalpha1"}));
  m.wavelength_alpha2 = number_of(path(generator, {"WavelengthKalpha2"}));
  m.anode = text_of(path(generator, {"TargetName"}));
  m.sample = text_of(path(conditions, {"GeneralInformation", "SampleName"}));
  const Element* scan = path(conditions, {"ScanInformation"});
  m.started = text_of(path(scan, {"StartTime"}));
  // Only in step mode is the speed a counting time per step.
  const std::optional<std::string> speed_unit = text_of(path(scan, {"SpeedUnit"}));
  if (speed_unit == "sec") m.step_time = number_of(path(scan, {"Speed"}));
  if (const auto unit = text_of(path(scan, {"IntensityUnit"}))) out.y_unit = y_unit(*unit);
  return out;
}

}  // namespace vorlen::stated
