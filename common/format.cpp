#include "format.hpp"

#include <cstring>
#include <memory>
#include <unordered_map>

#include "number_text.hpp"

namespace tk {
namespace {

constexpr int largest_number = 1000000;  // widths, digits and repeat counts
constexpr int deepest_nesting = 64;
// A statement may not go on this long without transferring an item: nested
// repeat counts of groups without data descriptors would otherwise run for hours.
constexpr long longest_idle_walk = 10000000;

// ------------------------------------------------------------------ parsing

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

FormatOp make_op(FormatOp::Code code) {
    FormatOp op{code, 1, 0, 0, -1, {}};
    return op;
}

// Reads a format text left to right; blanks outside literal text are ignored.
struct Lexer {
    std::string_view text;
    std::size_t at = 0;

    void skip_blanks() {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    }
    bool done() {
        skip_blanks();
        return at >= text.size();
    }
    char peek() {
        skip_blanks();
        return at < text.size() ? upper(text[at]) : '\0';
    }
    char take() {
        const char c = peek();
        if (at < text.size()) ++at;
        return c;
    }
    // An unsigned number whose digits may be separated by blanks; -1 if none, -2 if too large.
    int number() {
        if (!is_digit(peek())) return -1;
        long long value = 0;
        while (is_digit(peek())) {
            value = value * 10 + (take() - '0');
            if (value > largest_number) return -2;
        }
        return static_cast<int>(value);
    }
};

struct Parser {
    Lexer lex;
    Format format;
    std::vector<int> open_groups;  // indices of group_begin ops not yet closed
    int last_top_level_group = -1;

    bool fail(const std::string& message) {
        if (format.error.empty())
            format.error = "format " + std::string(lex.text) + ": " + message;
        return false;
    }

    bool width_and_digits(FormatOp& op, bool width_required, bool digits_allowed) {
        const int w = lex.number();
        if (w == -2) return fail("a width is too large");
        if (w < 0) {
            if (width_required) return fail("a width is missing");
        } else {
            if (w == 0) return fail("a width of 0");
            op.width = w;
        }
        if (digits_allowed && lex.peek() == '.') {
            lex.take();
            const int d = lex.number();
            if (d < 0) return fail(d == -2 ? "a decimal count is too large" : "a decimal count is missing");
            op.digits = d;
        }
        return true;
    }

    bool quoted_literal(char quote) {
        std::string value;
        for (;;) {
            if (lex.at >= lex.text.size()) return fail("literal text is not closed");
            const char c = lex.text[lex.at++];
            if (c == quote) {
                if (lex.at < lex.text.size() && lex.text[lex.at] == quote) {
                    value.push_back(quote);  // a doubled quote stands for one
                    ++lex.at;
                    continue;
                }
                break;
            }
            value.push_back(c);
        }
        FormatOp op = make_op(FormatOp::Code::literal);
        op.literal = std::move(value);
        format.ops.push_back(std::move(op));
        return true;
    }

    bool hollerith(int count) {
        if (count <= 0) return fail("H needs a count");
        if (lex.at + static_cast<std::size_t>(count) > lex.text.size()) return fail("H text runs past the end");
        FormatOp op = make_op(FormatOp::Code::literal);
        op.literal = std::string(lex.text.substr(lex.at, static_cast<std::size_t>(count)));
        lex.at += static_cast<std::size_t>(count);
        format.ops.push_back(std::move(op));
        return true;
    }

    bool open_group(int repeat) {
        if (static_cast<int>(open_groups.size()) >= deepest_nesting) return fail("groups nest too deeply");
        FormatOp op = make_op(FormatOp::Code::group_begin);
        op.repeat = repeat;
        open_groups.push_back(static_cast<int>(format.ops.size()));
        format.ops.push_back(op);
        return true;
    }

    void close_group() {
        const int begin = open_groups.back();
        open_groups.pop_back();
        FormatOp op = make_op(FormatOp::Code::group_end);
        op.partner = begin;
        format.ops[static_cast<std::size_t>(begin)].partner = static_cast<int>(format.ops.size());
        format.ops.push_back(op);
        if (open_groups.empty()) last_top_level_group = begin;
    }

    bool descriptor(char letter, int repeat, bool repeat_given) {
        FormatOp op = make_op(FormatOp::Code::end);
        op.repeat = repeat;
        switch (letter) {
            case 'I': op.code = FormatOp::Code::integer; break;
            case 'F': op.code = FormatOp::Code::fixed; break;
            case 'D':
            case 'E': op.code = FormatOp::Code::exponent; break;
            case 'G': op.code = FormatOp::Code::general; break;
            case 'A': op.code = FormatOp::Code::text; break;
            case 'X':
                op.code = FormatOp::Code::skip;
                op.width = repeat_given ? repeat : 1;
                op.repeat = 1;
                format.ops.push_back(op);
                return true;
            case 'T': {
                if (repeat_given) return fail("a count before T");
                op.code = FormatOp::Code::tab;
                if (lex.peek() == 'L' || lex.peek() == 'R')
                    op.code = lex.take() == 'L' ? FormatOp::Code::tab_left : FormatOp::Code::tab_right;
                const int n = lex.number();
                if (n < 0) return fail(n == -2 ? "a tab position is too large" : "a tab position is missing");
                if (op.code == FormatOp::Code::tab && n == 0) return fail("tab position 0");
                op.width = n;
                format.ops.push_back(op);
                return true;
            }
            default:
                return fail(std::string("unknown descriptor '") + letter + "'");
        }
        const bool is_text = op.code == FormatOp::Code::text;
        if (!width_and_digits(op, !is_text, !is_text)) return false;
        format.ops.push_back(op);
        return true;
    }

    bool element() {
        const char c = lex.peek();
        if (c == '\'' || c == '"') {
            lex.take();
            return quoted_literal(c == '"' ? '"' : '\'');
        }
        if (c == '/' || c == ':') {
            lex.take();
            format.ops.push_back(make_op(c == '/' ? FormatOp::Code::slash : FormatOp::Code::colon));
            return true;
        }
        int repeat = lex.number();
        if (repeat == -2) return fail("a repeat count is too large");
        const bool repeat_given = repeat >= 0;
        if (repeat_given && repeat == 0) return fail("a repeat count of 0");
        if (!repeat_given) repeat = 1;
        const char next = lex.peek();
        if (next == 'H') {
            lex.take();
            return hollerith(repeat_given ? repeat : 0);
        }
        if (next == '(') {
            lex.take();
            return open_group(repeat);
        }
        if (next == '/') {
            lex.take();
            FormatOp op = make_op(FormatOp::Code::slash);
            op.repeat = repeat;
            format.ops.push_back(op);
            return true;
        }
        if (next == '\0') return fail("the format ends too early");
        if (next < 'A' || next > 'Z') return fail(std::string("unexpected character '") + next + "'");
        lex.take();
        return descriptor(next, repeat, repeat_given);
    }

    bool run() {
        if (lex.take() != '(') return fail("it does not begin with '('");
        for (;;) {
            const char c = lex.peek();
            if (c == '\0') return fail("parentheses are not balanced");
            if (c == ',') {
                lex.take();
                continue;
            }
            if (c == ')') {
                lex.take();
                if (open_groups.empty()) break;
                close_group();
                continue;
            }
            if (!element()) return false;
        }
        if (!lex.done()) return fail("text after the closing parenthesis");
        format.ops.push_back(make_op(FormatOp::Code::end));
        format.revert_to = last_top_level_group >= 0 ? last_top_level_group : 0;
        return true;
    }
};

// ------------------------------------------------------------------ walking

// Group repetition and reversion, shared by the writer and the reader. The
// walker stops at each data descriptor and at the points where the statement
// may end; the caller acts on the other operations.
struct Walker {
    struct Frame {
        int begin;
        int remaining;
    };
    const Format& format;
    int pc = 0;
    std::vector<Frame> frames;
    long idle_steps = 0;  // operations since the last item was transferred

    bool exhausted() const { return idle_steps > longest_idle_walk; }

    const FormatOp& op() const { return format.ops[static_cast<std::size_t>(pc)]; }

    // Handles group brackets; returns at the first other operation.
    void settle() {
        for (;;) {
            if (++idle_steps > longest_idle_walk) return;
            const FormatOp& o = op();
            if (o.code == FormatOp::Code::group_begin) {
                frames.push_back({pc, o.repeat});
                ++pc;
            } else if (o.code == FormatOp::Code::group_end) {
                Frame& f = frames.back();
                if (--f.remaining > 0) {
                    pc = f.begin + 1;
                } else {
                    frames.pop_back();
                    ++pc;
                }
            } else {
                return;
            }
        }
    }
    void revert() {
        frames.clear();
        pc = format.revert_to;
    }
};

// The record under construction: a buffer with a position; its text is the
// buffer up to the furthest column written, so X and T add no trailing blanks.
struct RecordBuilder {
    std::string& out;
    std::string record;
    std::size_t pos = 0;
    std::string scratch;

    void put(std::string_view text) {
        const std::size_t end = pos + text.size();
        if (record.size() < end) record.resize(end, ' ');
        std::memcpy(record.data() + pos, text.data(), text.size());
        pos = end;
    }
    void finish() {
        out += record;
        out += "\r\n";
        record.clear();
        pos = 0;
    }
};

[[noreturn]] void mismatch(const FormatOp& op, const Item& item) {
    (void)op;
    throw FormatError(item.kind == Item::Kind::text ? "a character item under a numeric descriptor"
                                                    : "a number under a character or integer descriptor");
}

void render_text(std::string& out, const FormatOp& op, std::string_view value) {
    if (op.width == 0) {
        out += value;
    } else {
        const std::size_t w = static_cast<std::size_t>(op.width);
        if (value.size() >= w) {
            out += value.substr(0, w);
        } else {
            out.append(w - value.size(), ' ');
            out += value;
        }
    }
}

void render(std::string& out, const FormatOp& op, const Item& item) {
    if (op.code == FormatOp::Code::text) {
        if (item.kind != Item::Kind::text) mismatch(op, item);
        render_text(out, op, item.text);
        return;
    }
    if (item.kind == Item::Kind::text) mismatch(op, item);
    if (op.code == FormatOp::Code::integer) {
        if (item.kind != Item::Kind::integer) mismatch(op, item);
        render_integer(out, item.integer, op.width, op.digits);
        return;
    }
    const double value = item.kind == Item::Kind::real ? item.real : static_cast<double>(item.integer);
    switch (op.code) {
        case FormatOp::Code::fixed: render_fixed(out, value, op.width, op.digits); break;
        case FormatOp::Code::exponent: render_exponent(out, value, op.width, op.digits); break;
        default: render_general(out, value, op.width, op.digits); break;
    }
}

void put_item(RecordBuilder& rb, const FormatOp& op, const Item& item) {
    if (rb.pos == rb.record.size()) {
        render(rb.record, op, item);
        rb.pos = rb.record.size();
    } else {
        rb.scratch.clear();
        render(rb.scratch, op, item);
        rb.put(rb.scratch);
    }
}

// Acts on a positioning or literal operation; shared by both walkers for X and T.
std::size_t move_position(const FormatOp& op, std::size_t pos) {
    const std::size_t n = static_cast<std::size_t>(op.width);
    switch (op.code) {
        case FormatOp::Code::skip:
        case FormatOp::Code::tab_right: return pos + n;
        case FormatOp::Code::tab_left: return pos > n ? pos - n : 0;
        default: return n - 1;  // Tn: column n
    }
}

}  // namespace

Format parse_format(std::string_view text) {
    Parser parser{Lexer{text}, {}, {}, -1};
    if (!parser.run()) parser.format.ops.clear();
    return std::move(parser.format);
}

const Format& cached_format(std::string_view text) {
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    static std::unordered_map<std::string, std::unique_ptr<Format>, Hash, std::equal_to<>> cache;
    auto found = cache.find(text);
    if (found != cache.end()) return *found->second;
    auto parsed = std::make_unique<Format>(parse_format(text));
    return *cache.emplace(std::string(text), std::move(parsed)).first->second;
}

void format_records(std::string& out, const Format& format, std::span<const Item> items) {
    if (!format.error.empty()) throw FormatError(format.error);
    RecordBuilder rb{out, {}, 0, {}};
    Walker walk{format, 0, {}};
    std::size_t next = 0;
    std::size_t consumed_at_revert = 0;
    const bool none = items.empty();
    for (;;) {
        walk.settle();
        if (walk.exhausted()) throw FormatError("the format runs without using its items");
        const FormatOp& op = walk.op();
        if (op.is_data()) {
            for (int r = 0; r < op.repeat; ++r) {
                if (next == items.size()) {
                    rb.finish();
                    return;
                }
                put_item(rb, op, items[next++]);
            }
            walk.idle_steps = 0;
            ++walk.pc;
            continue;
        }
        switch (op.code) {
            case FormatOp::Code::literal: rb.put(op.literal); break;
            case FormatOp::Code::slash:
                for (int r = 0; r < op.repeat; ++r) rb.finish();
                break;
            case FormatOp::Code::colon:
                if (next == items.size()) {
                    rb.finish();
                    return;
                }
                break;
            case FormatOp::Code::end:
                if (next == items.size() || none) {
                    rb.finish();
                    return;
                }
                if (next == consumed_at_revert)
                    throw FormatError("format " + std::string("has no data descriptor for the remaining items"));
                consumed_at_revert = next;
                rb.finish();
                walk.revert();
                continue;
            default: rb.pos = move_position(op, rb.pos); break;
        }
        ++walk.pc;
    }
}

void write_formatted(TextWriter& file, std::string_view format, std::span<const Item> items) {
    std::string text;
    format_records(text, cached_format(format), items);
    file.put_records(text);
}

std::string write_internal(std::string_view format, std::span<const Item> items, std::size_t length) {
    std::string text;
    format_records(text, cached_format(format), items);
    std::string record = text.substr(0, text.find("\r\n"));
    record.resize(length, ' ');
    return record;
}

// ------------------------------------------------------------------ reading

namespace {

// Where the records of a read come from: a file, or one internal record.
struct RecordSource {
    TextReader* file;
    std::string_view internal;
    bool internal_used = false;
    int used = 0;  // records taken from the file

    bool next(std::string& record) {
        if (file) return file->read_record(record) && ++used > 0;
        if (internal_used) return false;
        internal_used = true;
        record.assign(internal);
        return true;
    }
};

std::string_view field_at(const std::string& record, std::size_t pos, std::size_t width, std::string& padded) {
    if (pos + width <= record.size()) return std::string_view(record).substr(pos, width);
    padded.assign(width, ' ');
    if (pos < record.size()) padded.replace(0, record.size() - pos, record, pos, record.size() - pos);
    return padded;
}

bool store_text(const Target& target, std::string_view field, bool whole_variable) {
    if (target.kind != Target::Kind::text) return false;
    std::string& variable = *static_cast<std::string*>(target.where);
    const std::size_t length = variable.size();
    if (whole_variable || field.size() >= length) {
        // A longer field gives its rightmost characters; "(A)" gives the whole variable.
        std::string_view part = field.size() > length ? field.substr(field.size() - length) : field;
        if (whole_variable) part = field.substr(0, std::min(field.size(), length));
        variable.assign(part);
        variable.resize(length, ' ');
    } else {
        variable.assign(field);
        variable.resize(length, ' ');
    }
    return true;
}

bool store_number(const FormatOp& op, const Target& target, std::string_view field) {
    if (op.code == FormatOp::Code::integer && target.kind != Target::Kind::integer) {
        std::int32_t whole = 0;
        if (!parse_integer_field(field, whole)) return false;
        if (target.kind == Target::Kind::real4) *static_cast<float*>(target.where) = static_cast<float>(whole);
        else if (target.kind == Target::Kind::real8) *static_cast<double*>(target.where) = whole;
        else return false;
        return true;
    }
    switch (target.kind) {
        case Target::Kind::integer:
            if (op.code != FormatOp::Code::integer) return false;
            return parse_integer_field(field, *static_cast<std::int32_t*>(target.where));
        case Target::Kind::real4: return parse_real_field(field, op.digits, *static_cast<float*>(target.where));
        case Target::Kind::real8: return parse_real_field(field, op.digits, *static_cast<double*>(target.where));
        default: return false;
    }
}

ReadResult read_with(RecordSource& source, const Format& format, std::span<const Target> targets) {
    if (!format.error.empty()) return {ReadStatus::error, format.error};
    std::string record, padded;
    if (!source.next(record)) return {ReadStatus::end_of_file, {}};
    Walker walk{format, 0, {}};
    std::size_t pos = 0, next = 0, consumed_at_revert = 0;
    for (;;) {
        walk.settle();
        if (walk.exhausted()) return {ReadStatus::error, "the format runs without reading its values"};
        const FormatOp& op = walk.op();
        if (op.is_data()) {
            walk.idle_steps = 0;
            for (int r = 0; r < op.repeat; ++r) {
                if (next == targets.size()) return {};
                const Target& target = targets[next++];
                std::size_t width = static_cast<std::size_t>(op.width);
                const bool whole = op.code == FormatOp::Code::text && width == 0;
                if (whole) width = target.kind == Target::Kind::text
                                       ? static_cast<const std::string*>(target.where)->size() : 0;
                const std::string_view field = field_at(record, pos, width, padded);
                pos += width;
                const bool stored = op.code == FormatOp::Code::text ? store_text(target, field, whole)
                                                                    : store_number(op, target, field);
                if (!stored)
                    return {ReadStatus::error, "the field '" + std::string(field) + "' cannot be read as " +
                                                   (op.code == FormatOp::Code::text ? "text" : "a number")};
            }
            ++walk.pc;
            continue;
        }
        switch (op.code) {
            case FormatOp::Code::literal:
                return {ReadStatus::error, "literal text in a format for reading"};
            case FormatOp::Code::slash:
                for (int r = 0; r < op.repeat; ++r) {
                    if (!source.next(record)) return {ReadStatus::end_of_file, {}};
                    pos = 0;
                }
                break;
            case FormatOp::Code::colon:
                if (next == targets.size()) return {};
                break;
            case FormatOp::Code::end:
                if (next == targets.size()) return {};
                if (next == consumed_at_revert)
                    return {ReadStatus::error, "the format has no descriptor for the remaining values"};
                consumed_at_revert = next;
                if (!source.next(record)) return {ReadStatus::end_of_file, {}};
                pos = 0;
                walk.revert();
                continue;
            default: pos = move_position(op, pos); break;
        }
        ++walk.pc;
    }
}

}  // namespace

ReadResult read_formatted(TextReader& file, const Format& format, std::span<const Target> targets) {
    RecordSource source{&file, {}};
    ReadResult result = read_with(source, format, targets);
    result.records = source.used;
    return result;
}

ReadResult read_internal(std::string_view record, std::string_view format, std::span<const Target> targets) {
    RecordSource source{nullptr, record};
    return read_with(source, cached_format(format), targets);
}

std::string count_descriptor(long long value, int width) {
    const int digits = static_cast<int>(std::to_string(value).size());  // the sign included
    std::string descriptor(1, 'I');  // (built by appending: "I" + ... trips a false -Wrestrict in g++ 12)
    descriptor += std::to_string(digits <= width ? width : digits + 1);
    return descriptor;
}

}  // namespace tk
