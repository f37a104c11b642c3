// Machine-readable results: numbers and matrices as JSON values, and JSON
// documents written so that no reader ever sees one half-written.
//
// Reals go out with the shortest digits that read back to the same 8-byte
// value. JSON has no infinities or NaN: such a value is written as null.
// Objects keep their keys in the order they were added.
#pragma once

#include "common/files.hpp"
#include "common/matrix.hpp"

#include <nlohmann/json.hpp>

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tk {

using Json = nlohmann::ordered_json;

// A real, or null when it is not finite.
Json json_number(double x);
// An array of reals.
Json json_numbers(std::span<const double> x);
// An array of rows, each an array of reals: m(0, 0..c-1), m(1, 0..c-1), ...
Json json_matrix(const Matrix& m);

// The text of a document, ended by a line end: objects and arrays of arrays
// indented by two blanks per level, an array of plain values (a vector, a
// matrix row) on one line. A byte of a text that is not UTF-8 becomes U+FFFD.
std::string json_text(const Json& document);

// Opens the writer of a JSON document: standard output for "-", otherwise the
// named file written atomically (under a temporary name in the same
// directory, renamed into place by close()). False when it cannot be opened.
bool open_json_output(TextWriter& out, std::string_view name);

// Appends the document's text to an open writer; close() then completes it.
void write_json(TextWriter& out, const Json& document);

// Opens, writes and completes a JSON file in one step; the message of what
// went wrong, or nullopt. On failure nothing is left under the name.
std::optional<std::string> write_json_file(std::string_view name, const Json& document);

}  // namespace tk
