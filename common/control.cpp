#include "control.hpp"

#include <cerrno>
#include <cstring>
#include <vector>

#include "files.hpp"
#include "freeform.hpp"
#include "tokenizer.hpp"

namespace tk {
namespace {

constexpr std::size_t name_width = 100;
// The other fields keep their whole record, so that no value is ever cut.
constexpr std::size_t whole_record = std::string::npos;

// The integers, read free-form (they may be spread over several records).
bool read_integers(TextReader& in, std::span<const Target> targets, std::string& problem) {
    const ReadResult r = read_list(in, targets);
    if (r.ok()) return true;
    problem = r.status == ReadStatus::end_of_file ? "it ends before its " + std::to_string(targets.size()) +
                                                        " leading integers"
                                                  : "its leading integers do not read as integers (" + r.message + ")";
    return false;
}

std::string long_name_problem(std::size_t record, std::size_t length, std::size_t width) {
    return std::string(record == 0 ? "the data file name" : "the listing file name") + " (record " +
           std::to_string(record + 1) + ") has " + std::to_string(length) + " characters, more than the " +
           std::to_string(width) + " of its field";
}

// The records that follow, each read whole and kept up to its field's width.
// The first records are file names: one longer than its name width is refused.
bool read_fields(TextReader& in, std::span<std::string* const> fields, std::span<const std::size_t> widths,
                 std::span<const std::size_t> name_widths, std::string& problem) {
    std::string record;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (!in.read_record(record)) {
            problem = "it ends after " + std::to_string(i) + " of its " + std::to_string(fields.size()) + " text records";
            return false;
        }
        const std::size_t length = significant(record).size();
        if (i < name_widths.size() && length > name_widths[i]) {
            problem = long_name_problem(i, length, name_widths[i]);
            return false;
        }
        *fields[i] = std::string(significant(std::string_view(record).substr(0, std::min(record.size(), widths[i]))));
    }
    return true;
}

// Opens, reads and deletes the control file; reading is done by `read_body`.
template <typename Control, typename Body>
Control read_control(std::string_view path, Body read_body) {
    Control control;
    if (!file_exists(path)) return control;
    TextReader in;
    if (!in.open(path)) {
        control.status = ControlStatus::bad;
        control.problem = "it cannot be opened";
    } else {
        try {
            control.status = read_body(in, control) ? ControlStatus::read : ControlStatus::bad;
        } catch (const FileError& error) {
            control.status = ControlStatus::bad;
            control.problem = std::string("a read failed (") + std::strerror(error.error) + ")";
        }
        in.close();
    }
    // A control file left in place would start the same job again.
    if (!remove_file(path)) {
        control.status = ControlStatus::not_deleted;
        control.problem = std::strerror(errno);
    }
    return control;
}

}  // namespace

TarvelControl read_tarvel_control(std::string_view path) {
    return read_control<TarvelControl>(path, [](TextReader& in, TarvelControl& c) {
        const Target integers[] = {c.window, c.listing, c.capacity_df, c.capacity_ss, c.capacity_ems, c.capacity_vc};
        if (!read_integers(in, integers, c.problem)) return false;
        std::string* const fields[] = {&c.data_file, &c.listing_file,   &c.model,        &c.data_format,
                                       &c.traits,    &c.missing_values, &c.print_options};
        const std::size_t widths[] = {name_width,   name_width,   whole_record, whole_record,
                                      whole_record, whole_record, whole_record};
        const std::size_t name_widths[] = {tarvel_name_width, tarvel_name_width};
        return read_fields(in, fields, widths, name_widths, c.problem);
    });
}

KirvControl read_kirv_control(std::string_view path) {
    return read_control<KirvControl>(path, [](TextReader& in, KirvControl& c) {
        const Target integers[] = {c.window, c.listing};
        if (!read_integers(in, integers, c.problem)) return false;
        std::string* const fields[] = {&c.records[0], &c.records[1], &c.records[2], &c.records[3],
                                       &c.records[4], &c.records[5], &c.records[6]};
        const std::size_t widths[] = {name_width,   name_width,   whole_record, whole_record,
                                      whole_record, whole_record, whole_record};
        const std::size_t name_widths[] = {kirv_name_width, kirv_name_width};
        return read_fields(in, fields, widths, name_widths, c.problem);
    });
}

}  // namespace tk
