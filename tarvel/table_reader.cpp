#include "tarvel/table_reader.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <numeric>

#include "common/format.hpp"
#include "common/freeform.hpp"
#include "common/input_stream.hpp"
#include "tarvel/run_error.hpp"

namespace tarvel {
namespace {

constexpr std::size_t read_chunk = std::size_t{1} << 20;
constexpr std::size_t binary_probe = std::size_t{1} << 16;  // bytes searched for a zero byte
constexpr int counter_step = 100;                           // accepted cases between two status counters
constexpr const char* builtin_missing_texts[] = {"NA", "."};

std::string in_quotes(std::string_view text) {
    std::string quoted(1, '\'');
    quoted += text;
    quoted += '\'';
    return quoted;
}

// ------------------------------------------------------------ the text, record by record

struct TableText {
    tk::InputStream stream;
    std::string name;  // as the messages quote it
    std::vector<char> buffer;
    std::size_t pos = 0;  // the unread text is [pos, end)
    std::size_t end = 0;
    bool ended = false;
    std::int64_t line = 1;  // the line of the text at pos
};

std::string_view unread(const TableText& t) { return {t.buffer.data() + t.pos, t.end - t.pos}; }

// Reads more text behind the unread part; false when the data have ended.
bool read_more(TableText& t) {
    if (t.ended) return false;
    if (t.pos > 0) {
        std::memmove(t.buffer.data(), t.buffer.data() + t.pos, t.end - t.pos);
        t.end -= t.pos;
        t.pos = 0;
    }
    if (t.buffer.size() - t.end < read_chunk / 2) t.buffer.resize(std::max(2 * t.buffer.size(), t.end + read_chunk));
    const std::size_t n = t.stream.read(t.buffer.data() + t.end, t.buffer.size() - t.end);
    if (n == 0) t.ended = true;
    t.end += n;
    return n > 0;
}

bool is_blank(char c, char separator) { return c == ' ' || (c == '\t' && separator != '\t'); }

// Equal texts; cells and identifiers are short, so a loop beats a call.
bool same_text(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

std::string_view trimmed(std::string_view text, char separator) {
    while (!text.empty() && is_blank(text.front(), separator)) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back(), separator)) text.remove_suffix(1);
    return text;
}

// Where a record that holds quotes ends: at the first line end outside
// quotes. A quote opens a quoted field only at the start of a field.
struct RecordEnd {
    std::size_t length = std::string_view::npos;  // npos: not within the text
    int line_ends = 0;                            // inside quotes
    int open_field = -1;                          // 0-based field whose quote is still open at the text's end
};

RecordEnd quoted_record_end(std::string_view text, char separator) {
    enum class State { field_start, plain, quoted, quote_seen } state = State::field_start;
    RecordEnd r;
    int field = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (state == State::quoted) {
            if (c == '"') state = State::quote_seen;
            else if (c == '\n') ++r.line_ends;
            continue;
        }
        if (state == State::quote_seen) {
            if (c == '"') {  // a doubled quote stands for one
                state = State::quoted;
                continue;
            }
            state = State::plain;
            r.open_field = -1;
        } else if (state == State::field_start) {
            if (c == '"') {
                state = State::quoted;
                r.open_field = field;
                continue;
            }
            if (!is_blank(c, separator)) state = State::plain;
        }
        if (c == separator) {
            ++field;
            state = State::field_start;
        } else if (c == '\n') {
            r.length = i;
            r.open_field = -1;
            return r;
        }
    }
    if (state != State::quoted) r.open_field = -1;
    return r;
}

struct Record {
    std::string_view text;  // without its line end
    std::int64_t line = 0;  // the line it starts on
    bool quoted = false;    // holds a quote
};

[[noreturn]] void record_too_long(const TableText& t) {
    throw RunError("Line " + std::to_string(t.line) + " of '" + t.name + "' is longer than " +
                   std::to_string(table_record_limit >> 20) + " MB; a table row is never that long. Is '" + t.name +
                   "' a table with one row per line?");
}

[[noreturn]] void unclosed_quote(const TableText& t, int field, const std::vector<std::string>& header) {
    std::string column = "column " + std::to_string(field + 1);
    if (static_cast<std::size_t>(field) < header.size()) column += " (" + header[static_cast<std::size_t>(field)] + ")";
    throw RunError("Line " + std::to_string(t.line) + ", " + column + " of '" + t.name +
                   "': the quote that opens the field there is not closed before the end of the file.");
}

void take_record(TableText& t, std::string_view rest, const RecordEnd& e, bool quoted, Record& r) {
    const std::size_t length = e.length == std::string_view::npos ? rest.size() : e.length;
    if (length > table_record_limit) record_too_long(t);
    r.text = rest.substr(0, length);
    if (!r.text.empty() && r.text.back() == '\r') r.text.remove_suffix(1);
    r.line = t.line;
    r.quoted = quoted;
    t.line += 1 + e.line_ends;
    t.pos += std::min(rest.size(), length + 1);
}

// The next record; false at the end of the data. The header names the
// columns of a record whose quote is not closed.
bool next_record(TableText& t, char separator, Record& r, const std::vector<std::string>& header) {
    if (t.pos == t.end && !read_more(t)) return false;
    for (;;) {
        const std::string_view rest = unread(t);
        const std::size_t line_end = rest.find('\n');
        const bool quoted = rest.substr(0, line_end).find('"') != std::string_view::npos;
        RecordEnd e;
        if (quoted) e = quoted_record_end(rest, separator);
        else e.length = line_end;
        if (e.length != std::string_view::npos) {
            take_record(t, rest, e, quoted, r);
            return true;
        }
        if (rest.size() > table_record_limit) {
            if (e.open_field >= 0) unclosed_quote(t, e.open_field, header);
            record_too_long(t);
        }
        if (!read_more(t)) {  // the last record, without a line end
            if (e.open_field >= 0) unclosed_quote(t, e.open_field, header);
            take_record(t, rest, e, quoted, r);
            return true;
        }
    }
}

// ------------------------------------------------------------ fields

// One pass over the bytes: rows are short, and a search call per field costs
// more than it saves.
void split_plain(std::string_view text, char separator, std::vector<std::string_view>& fields) {
    fields.clear();
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == separator) {
            fields.emplace_back(text.data() + start, i - start);
            start = i + 1;
        }
    fields.emplace_back(text.data() + start, text.size() - start);
}

// Fields with quotes taken off ("" inside quotes stands for one quote). The
// first text after a closing quote that is not a blank or the separator is
// returned as a problem.
std::string split_quoted(std::string_view text, char separator, std::vector<std::string>& storage,
                         std::vector<std::string_view>& fields) {
    storage.clear();
    std::string problem;
    for (std::size_t i = 0;;) {
        std::size_t j = i;
        while (j < text.size() && is_blank(text[j], separator)) ++j;
        if (j < text.size() && text[j] == '"') {
            std::string value;
            for (++j; j < text.size(); ++j) {
                if (text[j] != '"') {
                    value += text[j];
                } else if (j + 1 < text.size() && text[j + 1] == '"') {
                    value += '"';
                    ++j;
                } else {
                    ++j;
                    break;
                }
            }
            while (j < text.size() && is_blank(text[j], separator)) ++j;
            if (j < text.size() && text[j] != separator) {
                if (problem.empty())
                    problem = "column " + std::to_string(storage.size() + 1) + " has text after its closing quote";
                while (j < text.size() && text[j] != separator) ++j;
            }
            storage.push_back(std::move(value));
        } else {
            j = std::min(text.find(separator, i), text.size());
            storage.emplace_back(text.substr(i, j - i));
        }
        if (j >= text.size()) break;
        i = j + 1;
    }
    fields.assign(storage.begin(), storage.end());
    return problem;
}

// The fields of a record; a problem of its quotes, if any.
std::string split_record(const Record& r, char separator, std::vector<std::string>& storage,
                         std::vector<std::string_view>& fields) {
    if (r.quoted) return split_quoted(r.text, separator, storage, fields);
    split_plain(r.text, separator, fields);
    return {};
}

// ------------------------------------------------------------ the header

std::string_view without_compression_suffix(std::string_view name) {
    for (std::string_view suffix : {".gz", ".zst"})
        if (name.size() > suffix.size() && name.substr(name.size() - suffix.size()) == suffix)
            return name.substr(0, name.size() - suffix.size());
    return name;
}

bool ends_with(std::string_view name, std::string_view suffix) {
    return name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
}

// The separator that occurs most often outside quotes in the header line; a
// tie goes to the one that the file's name suggests, then tab, comma, semicolon.
char detect_separator(std::string_view header, std::string_view file_name) {
    const std::string_view base = without_compression_suffix(file_name);
    const char preferred = ends_with(base, ".tsv") ? '\t' : ',';
    std::string candidates = std::string(1, preferred) + "\t,;";
    std::size_t best_count = 0;
    char best = preferred;
    for (char c : candidates) {
        bool inside = false;
        std::size_t count = 0;
        for (char h : header) {
            if (h == '"') inside = !inside;
            else if (h == c && !inside) ++count;
        }
        if (count > best_count) best = c, best_count = count;
    }
    return best;
}

// Makes sure that the first line is in the buffer (or the whole text, when shorter).
void read_first_line(TableText& t) {
    while (unread(t).find('\n') == std::string_view::npos && unread(t).size() <= table_record_limit &&
           read_more(t)) {
    }
}

// A zero byte in the first block of text: a binary file (or UTF-16 text).
void refuse_binary(const TableText& t) {
    const std::string_view probe = unread(t).substr(0, binary_probe);
    if (probe.size() >= 2 && ((probe[0] == '\xff' && probe[1] == '\xfe') || (probe[0] == '\xfe' && probe[1] == '\xff')))
        throw RunError("The table '" + t.name + "' is UTF-16 text; save it as UTF-8 (\"CSV UTF-8\").");
    const std::size_t zero = probe.find('\0');
    if (zero == std::string_view::npos) return;
    const std::string_view before = probe.substr(0, zero);
    const std::size_t line_start = before.rfind('\n');
    const std::size_t column = line_start == std::string_view::npos ? zero + 1 : zero - line_start;
    throw RunError("Line " + std::to_string(1 + std::count(before.begin(), before.end(), '\n')) + ", column " +
                   std::to_string(column) + " of '" + t.name +
                   "' holds a zero byte: it is a binary file, not a table of text.");
}

void check_header_names(const std::vector<std::string>& names, const TableText& t, std::int64_t line) {
    const std::string where = "Line " + std::to_string(line) + ", column ";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].empty())
            throw RunError(where + std::to_string(i + 1) + " of '" + t.name +
                           "': the column has no name. Every column of the header needs a name of its own (R "
                           "writes an unnamed first column unless told row.names = FALSE).");
        for (std::size_t j = 0; j < i; ++j)
            if (names[j] == names[i])
                throw RunError("Line " + std::to_string(line) + ", columns " + std::to_string(j + 1) + " and " +
                               std::to_string(i + 1) + " of '" + t.name + "': the column name " + in_quotes(names[i]) +
                               " is given twice.");
    }
}

// The separator and the column names of the header, the first line that is not empty.
std::vector<std::string> read_header(TableText& t, std::optional<char> given_separator, char& separator) {
    read_first_line(t);
    if (unread(t).substr(0, 3) == "\xef\xbb\xbf") t.pos += 3;  // a UTF-8 byte-order mark
    refuse_binary(t);
    const std::string_view first_line = unread(t).substr(0, unread(t).find('\n'));
    separator = given_separator ? *given_separator : detect_separator(first_line, t.name);
    Record r;
    do {
        if (!next_record(t, separator, r, {})) throw RunError("The table '" + t.name + "' is empty: it has no header line.");
    } while (r.text.empty());
    std::vector<std::string> storage;
    std::vector<std::string_view> fields;
    split_record(r, separator, storage, fields);
    std::vector<std::string> names;
    for (std::string_view field : fields) names.emplace_back(trimmed(field, separator));
    check_header_names(names, t, r.line);
    return names;
}

void open_table(TableText& t, const std::string& file) {
    if (!t.stream.open(file)) throw RunError("Cannot open the data file '" + file + "'.");
    t.name = t.stream.shown_name();
    t.buffer.resize(2 * read_chunk);
}

// ------------------------------------------------------------ cells

struct MissingCodes {
    std::vector<std::string> texts;  // "NA", "." and the codes that are not numbers
    std::size_t longest_text = 0;    // a longer cell is none of them
    std::vector<float> numbers;      // the codes that are numbers
};

// A number as a 4-byte real, rounded once from its decimal text: optional
// sign, digits with an optional point, optional exponent. No words (nan, inf).
bool parse_number(std::string_view text, float& x) {
    if (tk::plain_decimal(text, x)) return true;
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    const char* digits = first != last && *first == '-' && first == text.data() ? first + 1 : first;
    if (digits == last || !((*digits >= '0' && *digits <= '9') || *digits == '.')) return false;
    const auto r = std::from_chars(first, last, x);
    return r.ec == std::errc() && r.ptr == last;
}

MissingCodes missing_codes(const std::vector<std::string>& given) {
    MissingCodes codes;
    for (const char* text : builtin_missing_texts) codes.texts.emplace_back(text);
    for (const std::string& code : given) {
        float x = 0.0f;
        if (parse_number(code, x)) codes.numbers.push_back(x);
        else codes.texts.push_back(code);
    }
    for (const std::string& text : codes.texts) codes.longest_text = std::max(codes.longest_text, text.size());
    return codes;
}

bool is_missing_text(std::string_view cell, const MissingCodes& codes) {
    if (cell.empty()) return true;
    if (cell.size() > codes.longest_text) return false;
    for (const std::string& text : codes.texts)
        if (same_text(cell, text)) return true;
    return false;
}

bool is_missing_number(float x, const MissingCodes& codes) {
    for (float code : codes.numbers)
        if (x == code) return true;
    return false;
}

enum class Cell { number, missing, text };

Cell trait_cell(std::string_view cell, const MissingCodes& codes, float& x) {
    if (is_missing_text(cell, codes)) return Cell::missing;
    if (!parse_number(cell, x)) return Cell::text;
    return is_missing_number(x, codes) ? Cell::missing : Cell::number;
}

bool factor_missing(std::string_view cell, const MissingCodes& codes) {
    if (is_missing_text(cell, codes)) return true;
    float x = 0.0f;
    return !codes.numbers.empty() && parse_number(cell, x) && is_missing_number(x, codes);
}

// ------------------------------------------------------------ levels

// The levels of one factor as first met, in an open-addressing hash table.
// A text of up to 8 bytes is its own key (its bytes packed into 64 bits), so
// that most identifiers are found without reading their text; a longer text
// is keyed by its hash and compared in the arena, where level k (from 1) is
// the text from starts[k - 1] to starts[k].
struct LevelSlot {
    std::uint64_t key = 0;
    std::uint32_t length = 0;
    Level level = 0;  // 0: an empty slot
};

struct LevelTable {
    std::vector<LevelSlot> slots = std::vector<LevelSlot>(64);  // a power of two in size
    std::string arena;
    std::vector<std::size_t> starts{0};
    LevelSlot last;             // rows often repeat the level of the row before
    std::vector<Level> direct;  // the level of each small whole number written plainly (0: none yet)
};

constexpr std::size_t packed_length = sizeof(std::uint64_t);

std::size_t level_count(const LevelTable& table) { return table.starts.size() - 1; }

std::string_view level_text(const LevelTable& table, Level level) {
    const std::size_t k = static_cast<std::size_t>(level - 1);
    return std::string_view(table.arena).substr(table.starts[k], table.starts[k + 1] - table.starts[k]);
}

std::uint64_t text_key(std::string_view text) {
    std::uint64_t key = 0;
    if (text.size() <= packed_length) {
        // Byte by byte: a copy of a varying length into the key and a load
        // of the key right after it would stall the processor.
        for (std::size_t i = 0; i < text.size(); ++i)
            key |= static_cast<std::uint64_t>(static_cast<unsigned char>(text[i])) << (8 * i);
        return key;
    }
    key = 14695981039346656037ull;  // FNV-1a
    for (char c : text) key = (key ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return key;
}

std::size_t first_slot(std::uint64_t key, std::uint32_t length, std::size_t mask) {
    return static_cast<std::size_t>(((key ^ length) * 0x9E3779B97F4A7C15ull) >> 32) & mask;
}

// The slot of a text: where it is, or the empty slot where it belongs.
std::size_t slot_of(const LevelTable& table, std::string_view text, std::uint64_t key) {
    const std::uint32_t length = static_cast<std::uint32_t>(text.size());
    const std::size_t mask = table.slots.size() - 1;
    for (std::size_t i = first_slot(key, length, mask);; i = (i + 1) & mask) {
        const LevelSlot& slot = table.slots[i];
        if (slot.level == 0) return i;
        if (slot.key == key && slot.length == length &&
            (length <= packed_length || same_text(level_text(table, slot.level), text)))
            return i;
    }
}

// Doubles the table when it is half full.
void grow(LevelTable& table) {
    std::vector<LevelSlot> slots(table.slots.size() * 2);
    const std::size_t mask = slots.size() - 1;
    for (const LevelSlot& slot : table.slots) {
        if (slot.level == 0) continue;
        std::size_t i = first_slot(slot.key, slot.length, mask);
        while (slots[i].level != 0) i = (i + 1) & mask;
        slots[i] = slot;
    }
    table.slots = std::move(slots);
}

// A new level for the text.
Level add_level(LevelTable& table, std::string_view text) {
    table.arena.append(text);
    table.starts.push_back(table.arena.size());
    return static_cast<Level>(level_count(table));
}

// Codes such as herd 17 or sex 2: a whole number of up to six digits without
// sign or leading zero ("07" is another text than "7") indexes a table.
bool small_whole_number(std::string_view text, std::size_t& value) {
    if (text.empty() || text.size() > 6 || (text[0] == '0' && text.size() > 1)) return false;
    value = 0;
    for (char c : text) {
        const unsigned digit = static_cast<unsigned>(c - '0');
        if (digit > 9) return false;
        value = value * 10 + digit;
    }
    return true;
}

Level level_of(LevelTable& table, std::string_view text) {
    std::size_t number = 0;
    if (small_whole_number(text, number)) {
        if (number >= table.direct.size()) table.direct.resize(std::max(number + 1, 2 * table.direct.size()), 0);
        Level& level = table.direct[number];
        if (level == 0) level = add_level(table, text);
        return level;
    }
    const std::uint64_t key = text_key(text);
    const LevelSlot& last = table.last;
    if (last.level != 0 && last.key == key && last.length == text.size() &&
        (text.size() <= packed_length || same_text(level_text(table, last.level), text)))
        return last.level;
    std::size_t i = slot_of(table, text, key);
    if (table.slots[i].level == 0) {
        table.slots[i] = {key, static_cast<std::uint32_t>(text.size()), add_level(table, text)};
        if (2 * level_count(table) > table.slots.size()) {
            grow(table);
            i = slot_of(table, text, key);
        }
    }
    table.last = table.slots[i];
    return table.last.level;
}

// The final level of every level as first met (index: level - 1): numbers
// by size when every text is a number, else texts by their bytes.
std::vector<Level> sorted_levels(const LevelTable& table) {
    const std::size_t n = level_count(table);
    const auto text = [&table](std::size_t k) { return level_text(table, static_cast<Level>(k + 1)); };
    std::vector<double> values(n, 0.0);
    bool numeric = true;
    for (std::size_t k = 0; k < n && numeric; ++k) {
        const std::string_view t = text(k);
        float x = 0.0f;
        numeric = parse_number(t, x);
        if (numeric) std::from_chars(t.data() + (t.front() == '+'), t.data() + t.size(), values[k]);
    }
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (numeric && values[a] != values[b]) return values[a] < values[b];
        return text(a) < text(b);
    });
    std::vector<Level> final_level(n);
    for (std::size_t rank = 0; rank < n; ++rank) final_level[order[rank]] = static_cast<Level>(rank + 1);
    return final_level;
}

bool is_identity(const std::vector<Level>& map) {
    for (std::size_t k = 0; k < map.size(); ++k)
        if (map[k] != static_cast<Level>(k + 1)) return false;
    return true;
}

// ------------------------------------------------------------ rows

// A trait column read so far: how many numbers and texts it held, and its first text.
struct TraitColumnSeen {
    std::int64_t numbers = 0;
    std::int64_t texts = 0;
    std::int64_t first_text_line = 0;
    std::string first_text;
};

struct RowReader {
    const TableRequest& request;
    const std::string& table_name;
    const std::vector<std::string>& header;
    char separator = ',';
    MissingCodes codes;
    TableReading& reading;
    tk::ScratchFile& scratch;
    tk::Host& host;
    std::vector<LevelTable> levels;
    std::vector<TraitColumnSeen> seen;
    ScratchRecord record;
    std::vector<char> trait_missing;
    std::vector<std::string_view> factor_cells;
    ScratchBlock block;
};

std::string column_label(const RowReader& rr, int column) {
    return "column " + std::to_string(column + 1) + " (" + rr.header[static_cast<std::size_t>(column)] + ")";
}

void bad_row(RowReader& rr, const Record& r, std::string what) {
    tk::add_problem_line(rr.reading.report.bad_rows, r.line, std::move(what));
}

// The trait values of a row; false for a bad row.
bool take_traits(RowReader& rr, const Record& r, const std::vector<std::string_view>& fields) {
    const TableColumns& columns = rr.reading.columns;
    bool bad = false;
    for (std::size_t i = 0; i < columns.trait_columns.size(); ++i) {
        const int column = columns.trait_columns[i];
        const std::string_view cell = trimmed(fields[static_cast<std::size_t>(column)], rr.separator);
        const Cell kind = trait_cell(cell, rr.codes, rr.record.traits[i]);
        rr.trait_missing[i] = kind == Cell::missing;
        TraitColumnSeen& seen = rr.seen[i];
        if (kind == Cell::number) ++seen.numbers;
        if (kind != Cell::text) continue;
        if (seen.texts++ == 0) seen.first_text_line = r.line, seen.first_text = std::string(cell);
        if (!bad) bad_row(rr, r, column_label(rr, column) + " holds " + in_quotes(tk::shortened_text(cell)) +
                                     ", which is not a number");
        bad = true;
    }
    return !bad;
}

void show_case_counter(tk::Host& host, int accepted) {
    tk::show_counter(host, tk::write_internal("(a,i6)", {"Case: ", accepted}, 14));
}

void take_row(RowReader& rr, const Record& r, const std::vector<std::string_view>& fields) {
    TableReading& reading = rr.reading;
    TableReport& report = reading.report;
    const TableColumns& columns = reading.columns;
    ++report.rows;
    if (fields.size() != rr.header.size()) {
        bad_row(rr, r, std::to_string(fields.size()) + (fields.size() == 1 ? " field, " : " fields, ") +
                           std::to_string(rr.header.size()) + " expected: " + tk::shortened_text(r.text));
        return;
    }
    if (!take_traits(rr, r, fields)) return;
    bool skipped = false;
    for (std::size_t i = 0; i < rr.trait_missing.size(); ++i)
        if (rr.trait_missing[i]) ++report.missing_by_trait[i], skipped = true;
    bool factor_absent = false;
    for (std::size_t k = 0; k < columns.factor_columns.size(); ++k) {
        const std::string_view cell = trimmed(fields[static_cast<std::size_t>(columns.factor_columns[k])], rr.separator);
        rr.factor_cells[k] = cell;
        if (factor_missing(cell, rr.codes)) ++report.missing_by_factor[k], factor_absent = true;
    }
    if (factor_absent) ++report.missing_factor_rows;
    if (skipped || factor_absent) {
        ++reading.cases.skipped;
        return;
    }
    for (std::size_t k = 0; k < columns.factor_columns.size(); ++k) rr.record.levels[k] = level_of(rr.levels[k], rr.factor_cells[k]);
    add_scratch_record(rr.scratch, rr.block, rr.record);
    if (++reading.cases.accepted % counter_step == 0) show_case_counter(rr.host, reading.cases.accepted);
}

// The fields of a whole line that holds no quote; false when it holds one.
bool split_unquoted_line(std::string_view line, char separator, std::vector<std::string_view>& fields) {
    fields.clear();
    std::size_t start = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == separator) {
            fields.emplace_back(line.data() + start, i - start);
            start = i + 1;
        } else if (c == '"') {
            return false;
        }
    }
    fields.emplace_back(line.data() + start, line.size() - start);
    return true;
}

// The next row when it is a whole line in the buffer without quotes (nearly
// every row): split in one pass. False leaves the row to next_record.
bool next_plain_row(TableText& t, char separator, Record& r, std::vector<std::string_view>& fields) {
    const std::string_view rest = unread(t);
    const void* line_end = std::memchr(rest.data(), '\n', rest.size());
    if (!line_end) return false;
    std::string_view line(rest.data(), static_cast<std::size_t>(static_cast<const char*>(line_end) - rest.data()));
    const std::size_t length = line.size();
    if (length > table_record_limit) return false;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!split_unquoted_line(line, separator, fields)) return false;
    r.text = line;
    r.line = t.line++;
    r.quoted = false;
    t.pos += length + 1;
    return true;
}

void read_rows(RowReader& rr, TableText& t) {
    Record r;
    std::vector<std::string> storage;
    std::vector<std::string_view> fields;
    for (;;) {
        if (next_plain_row(t, rr.separator, r, fields)) {
            if (!r.text.empty()) take_row(rr, r, fields);
            continue;
        }
        if (!next_record(t, rr.separator, r, rr.header)) break;
        if (r.text.empty()) continue;  // an empty line holds no row
        const std::string problem = split_record(r, rr.separator, storage, fields);
        if (!problem.empty()) {
            ++rr.reading.report.rows;
            bad_row(rr, r, problem + ": " + tk::shortened_text(r.text));
            continue;
        }
        take_row(rr, r, fields);
    }
    flush_scratch_block(rr.scratch, rr.block);
}

// ------------------------------------------------------------ after the rows

void require_rows(const TableReading& reading, const std::string& name) {
    if (reading.report.rows == 0)
        throw RunError("The table '" + name + "' has a header but no rows.");
}

// A trait column in which no value is a number holds text: the wrong column.
void refuse_text_traits(const RowReader& rr) {
    const TableColumns& columns = rr.reading.columns;
    for (std::size_t i = 0; i < rr.seen.size(); ++i) {
        const TraitColumnSeen& seen = rr.seen[i];
        if (seen.numbers > 0 || seen.texts == 0) continue;
        throw RunError("Line " + std::to_string(seen.first_text_line) + ", " +
                       column_label(rr, columns.trait_columns[i]) + " of '" + rr.table_name + "': the trait column " +
                       "holds text (" + in_quotes(tk::shortened_text(seen.first_text)) +
                       ") and no number; a trait must be a column of numbers.");
    }
}

void refuse_bad_rows(const RowReader& rr) {
    const tk::ProblemLines& bad = rr.reading.report.bad_rows;
    if (bad.count == 0 || rr.request.skip_bad_rows) return;
    std::string message = std::to_string(bad.count) + " bad row(s) in '" + rr.table_name +
                          "' (a wrong number of fields, or a trait value that is not a number); nothing was analysed:";
    for (const std::string& line : tk::problem_line_list(bad)) message += "\n" + line;
    message += "\nCorrect them, or give --skip-bad-rows to analyse the table without them.";
    throw RunError(message);
}

// Levels numbered by their values; the number of levels of each factor.
void finish_levels(RowReader& rr) {
    std::vector<std::vector<Level>> maps;
    bool renumber = false;
    for (const LevelTable& table : rr.levels) {
        maps.push_back(sorted_levels(table));
        renumber = renumber || !is_identity(maps.back());
        rr.reading.cases.largest_levels.push_back(std::max<int>(1, static_cast<int>(level_count(table))));
    }
    if (renumber)
        renumber_scratch_levels(rr.scratch, rr.reading.cases.accepted, maps,
                                static_cast<int>(rr.reading.columns.trait_names.size()));
}

std::vector<std::string> missing_texts(const TableRequest& request) {
    std::vector<std::string> texts{""};
    for (const char* text : builtin_missing_texts) texts.emplace_back(text);
    texts.insert(texts.end(), request.missing_codes.begin(), request.missing_codes.end());
    return texts;
}

std::string count_list(const std::vector<std::string>& names, const std::vector<std::int64_t>& counts,
                       bool skip_zero) {
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (skip_zero && counts[i] == 0) continue;
        list += (list.empty() ? "" : ", ") + names[i] + " " + std::to_string(counts[i]);
    }
    return list;
}

}  // namespace

TableReading read_table(const TableRequest& request, tk::ScratchFile& scratch, tk::Host& host) {
    TableText text;
    open_table(text, request.file);
    try {
        char separator = ',';
        const std::vector<std::string> header = read_header(text, request.separator, separator);
        TableReading reading;
        reading.columns = resolve_table_columns(header, text.name, request.model, request.traits);
        const TableColumns& columns = reading.columns;
        const std::size_t f = columns.factor_columns.size(), t = columns.trait_columns.size();
        reading.report.separator = separator;
        reading.report.missing_texts = missing_texts(request);
        reading.report.missing_by_factor.assign(f, 0);
        reading.report.missing_by_trait.assign(t, 0);
        RowReader rr{request, text.name, header, separator, missing_codes(request.missing_codes), reading, scratch, host,
                     std::vector<LevelTable>(f), std::vector<TraitColumnSeen>(t),
                     make_scratch_record(static_cast<int>(f), static_cast<int>(t)), std::vector<char>(t, 0), std::vector<std::string_view>(f), {}};
        read_rows(rr, text);
        require_rows(reading, text.name);
        refuse_text_traits(rr);
        refuse_bad_rows(rr);
        reading.cases.unreadable = static_cast<int>(reading.report.bad_rows.count);
        finish_levels(rr);
        return reading;
    } catch (const tk::InputError& error) {
        throw RunError(error.what());
    }
}

std::optional<char> separator_named(std::string_view text) {
    if (text == "tab" || text == "\\t") return '\t';
    if (text == "comma") return ',';
    if (text == "semicolon") return ';';
    if (text.size() == 1 && text[0] != '"' && text[0] != ' ' && text[0] != '\n' && text[0] != '\r') return text[0];
    return std::nullopt;
}

bool looks_like_table(const std::string& file, std::string_view model_text) {
    try {
        const std::vector<std::string> wanted = model_column_names(model_text);
        TableText text;
        open_table(text, file);
        char separator = ',';
        const std::vector<std::string> header = read_header(text, std::nullopt, separator);
        for (const std::string& name : wanted)
            if (std::find(header.begin(), header.end(), name) == header.end()) return false;
        return !wanted.empty();
    } catch (const std::exception&) {
        return false;
    }
}

std::vector<std::string> table_case_notes(const TableReading& reading) {
    const TableReport& report = reading.report;
    const TableColumns& columns = reading.columns;
    std::vector<std::string> notes;
    notes.push_back(" Note: Missing values per trait: " + count_list(columns.trait_names, report.missing_by_trait, false) +
                    " (a case is analysed only when all its traits are present).");
    if (report.missing_factor_rows > 0)
        notes.push_back(" Note: " + std::to_string(report.missing_factor_rows) +
                        " case(s) skipped for a missing factor value: " +
                        count_list(columns.factor_names, report.missing_by_factor, true) + ".");
    if (report.bad_rows.count > 0) {
        notes.push_back(" Note: " + std::to_string(report.bad_rows.count) + " bad row(s) skipped:");
        for (const std::string& line : tk::problem_line_list(report.bad_rows)) notes.push_back(" " + line);
    }
    return notes;
}

}  // namespace tarvel
