#include "kirv/json_input.hpp"

#include <cmath>

#include "common/json_output.hpp"
#include "common/tokenizer.hpp"
#include "kirv/genetic_group.hpp"

namespace kirv {
namespace {

using Json = tk::Json;

std::size_t at(int k) { return static_cast<std::size_t>(k); }

[[noreturn]] void bad_json(const std::string& file, const std::string& problem) {
    throw RunError(status_bad_json, "The JSON file " + file + " is not tarvel's results: " + problem + "!");
}

// The whole file, through the data file's reader (a read error is a run
// error naming the file).
std::string whole_text(tk::TextReader& data) {
    std::string text;
    while (!data.at_end()) {
        text.append(data.data(), data.available());
        data.advance(data.available());
    }
    return text;
}

Json parse_document(tk::TextReader& data, const std::string& file) {
    try {
        return Json::parse(whole_text(data));
    } catch (const Json::exception& error) {
        bad_json(file, std::string("it does not read as JSON (") + error.what() + ")");
    }
}

// The value at a path of keys, which must be there.
const Json& member(const std::string& file, const Json& object, const char* key) {
    if (!object.is_object() || !object.contains(key)) bad_json(file, std::string("it has no \"") + key + "\"");
    return object.at(key);
}

double number(const std::string& file, const Json& value, const std::string& what) {
    if (!value.is_number()) bad_json(file, what + " is not a number");
    return value.get<double>();
}

// A trait number of a pair, 1 to t, as a 0-based index.
int trait_index(const std::string& file, const Json& value, int t) {
    const double x = number(file, value, "a trait number");
    if (x != std::trunc(x) || x < 1 || x > t) bad_json(file, "a trait pair names a trait it does not have");
    return static_cast<int>(x) - 1;
}

std::vector<std::string> texts(const std::string& file, const Json& array, const char* what) {
    if (!array.is_array() || array.empty()) bad_json(file, std::string("its ") + what + " are missing");
    std::vector<std::string> out;
    for (const Json& item : array) {
        if (!item.is_string()) bad_json(file, std::string("one of its ") + what + " is not a text");
        out.push_back(item.get<std::string>());
    }
    return out;
}

std::vector<std::string> effect_names(const std::string& file, const Json& document) {
    const Json& effects = member(file, document, "effects");
    if (!effects.is_array() || effects.empty()) bad_json(file, "its effects are missing");
    std::vector<std::string> names;
    for (const Json& effect : effects) {
        const Json& name = member(file, effect, "name");
        if (!name.is_string()) bad_json(file, "an effect's name is not a text");
        names.push_back(name.get<std::string>());
    }
    names.emplace_back("Error");
    return names;
}

// K(r, c) of the effects from the diagonal on, the residual's 1 closing every
// row: the upper triangle that the export file holds.
tk::Matrix ems_matrix(const std::string& file, const Json& document, int neff) {
    const Json& k = member(file, document, "expected_mean_squares");
    const int n = neff - 1;
    if (!k.is_array() || k.size() != at(n)) bad_json(file, "its expected mean squares do not fit its effects");
    tk::Matrix ems(neff, neff);
    for (int r = 0; r < n; ++r) {
        const Json& row = k[at(r)];
        if (!row.is_array() || row.size() != at(n)) bad_json(file, "its expected mean squares do not fit its effects");
        for (int c = r; c < n; ++c)
            ems(r, c) = number(file, row[at(c)], "an expected-mean-square coefficient");
        ems(r, n) = 1.0;
    }
    ems(n, n) = 1.0;
    return ems;
}

// The rows of one pair's table that kirv takes: the effects, then the residual.
std::vector<const Json*> source_rows(const std::string& file, const Json& pair, int neff) {
    std::vector<const Json*> rows;
    const Json& table = member(file, pair, "rows");
    if (!table.is_array()) bad_json(file, "a trait pair's table is missing");
    for (const Json& row : table) {
        const Json& kind = member(file, row, "kind");
        if (kind == "effect" || kind == "residual") rows.push_back(&row);
    }
    if (rows.size() != at(neff)) bad_json(file, "a trait pair's table does not fit its effects");
    return rows;
}

// DF of the last pair (as the export file takes them) and SS(k)(s, u) of every pair.
void read_pairs(const std::string& file, const Json& document, Specification& s) {
    const int neff = static_cast<int>(s.effect_names.size());
    const int t = static_cast<int>(s.trait_names.size());
    s.ss.assign(at(neff), tk::Matrix(t, t));
    const Json& pairs = member(file, document, "pairs");
    if (!pairs.is_array() || pairs.size() != at(t * (t + 1) / 2)) bad_json(file, "its trait pairs do not fit its traits");
    std::vector<bool> seen(at(t * t), false);
    for (const Json& pair : pairs) {
        const Json& numbers = member(file, pair, "trait_numbers");
        if (!numbers.is_array() || numbers.size() != 2) bad_json(file, "a trait pair has no trait numbers");
        const int a = trait_index(file, numbers[0], t);
        const int b = trait_index(file, numbers[1], t);
        // Each pair once: a pair left out would leave its sums of squares at 0.
        if (seen[at(a * t + b)] || seen[at(b * t + a)]) bad_json(file, "a trait pair comes twice");
        seen[at(a * t + b)] = true;
        const std::vector<const Json*> rows = source_rows(file, pair, neff);
        s.df.assign(at(neff), 0.0);
        for (int k = 0; k < neff; ++k) {
            s.df[at(k)] = number(file, member(file, *rows[at(k)], "df"), "a degree of freedom");
            s.ss[at(k)](a, b) = s.ss[at(k)](b, a) = number(file, member(file, *rows[at(k)], "ss"), "a sum of squares");
        }
    }
}

Specification read_document(const std::string& file, const Json& document, const ControlSettings& given) {
    Specification s;
    read_leading_settings(nullptr, given, s);
    s.effect_names = effect_names(file, document);
    const int neff = static_cast<int>(s.effect_names.size());
    for (const std::string& name : texts(file, member(file, member(file, document, "settings"), "traits"), "traits"))
        s.trait_names.push_back(tk::pad(name, std::max(trait_name_length, name.size())));
    if (s.trait_names.size() > at(max_traits))
        throw RunError(status_too_many_traits, "Too many traits: at most " + std::to_string(max_traits) + " are allowed!");
    read_pairs(file, document, s);
    if (const std::optional<std::string> problem = check_components_input(s.df, 1.0))
        throw RunError(status_bad_df, *problem);
    const GeneticGroup group = read_genetic_group(nullptr, given, s.effect_names, neff);
    s.genetic_group = group.effect;
    s.genetic_group_reason = group.reason;
    read_trailing_settings(nullptr, given, s);
    s.ems = ems_matrix(file, document, neff);
    return s;
}

}  // namespace

bool is_json_data_file(std::string_view name) {
    return tk::lowered(name.substr(name.size() < 5 ? 0 : name.size() - 5)) == ".json";
}

Specification read_json_specification(tk::TextReader& data, const std::string& file, const ControlSettings& given) {
    const Json document = parse_document(data, file);
    const auto says_tarvel = [](const Json& d) {
        return d.is_object() && d.contains("program") && d.at("program").is_string() && d.at("program") == "tarvel";
    };
    if (!says_tarvel(document)) bad_json(file, "it does not say \"program\": \"tarvel\"");
    try {
        return read_document(file, document, given);
    } catch (const Json::exception& error) {
        // A value of a kind that no check above foresaw: still the file's fault.
        bad_json(file, std::string("a value has the wrong kind (") + error.what() + ")");
    }
}

}  // namespace kirv
