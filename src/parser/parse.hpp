// Format detection: which reader a given input goes to.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pattern/pattern.hpp"

namespace vorlen {

// The formats, each read by one reader.
enum class Format { BrukerRaw, Uxd, Brml, Xrdml, Ras, Rasx, Chi, Gsas, Pdcif, Xy };

// The detection rule that chose the format.
enum class DetectedBy { Signature, ArchiveMember, XmlRoot, TextMarker, Layout, Extension, Default };

struct Detection {
  Format format;
  DetectedBy by;
};

// Decides the format from the content, falling back to the file-name extension. Fails when the
// content cannot be decoded or opened, or is refused before any reader runs.
Result<Detection> detect(Bytes data, std::string_view filename);

// Runs the one reader of `format`; its outcome is returned unchanged.
Result<Series> parse_detected(Format format, Bytes data, const ReadOptions& options);

// detect, then parse_detected.
Result<Series> parse(Bytes data, std::string_view filename, const ReadOptions& options);

// "bruker_raw", "uxd", ... as the description names them.
std::string_view format_name(Format format);
// "signature", "archive member", "xml root", "text marker", "layout", "extension", "default".
std::string_view rule_name(DetectedBy rule);

// Single-pattern formats accept only index 0.
Status one_pattern(std::uint64_t index);

// True when the first element of `text`, read as XML, has the local name xrdMeasurements.
bool has_xrdml_root(std::string_view text);

// The extension of the last path component, ASCII letters lowered; empty when there is none.
std::string lowercased_extension(std::string_view filename);

}  // namespace vorlen
