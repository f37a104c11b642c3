#include "tarvel/table_model.hpp"

#include <algorithm>
#include <map>

#include "common/names.hpp"
#include "common/tokenizer.hpp"
#include "tarvel/run_error.hpp"
#include "tarvel/specification.hpp"

namespace tarvel {
namespace {

// One term of the model: its parts ("*"), each a list of sub-parts ("|") as written.
struct Term {
    std::string name;
    std::vector<std::vector<std::string>> parts;
};

std::vector<std::string> split_trimmed(std::string_view text, char separator) {
    std::vector<std::string> pieces;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        pieces.push_back(tk::trimmed(text.substr(start, end == std::string_view::npos ? end : end - start)));
        if (end == std::string_view::npos) return pieces;
        start = end + 1;
    }
}

[[noreturn]] void invalid_model(std::string_view model, const std::string& problem) {
    throw RunError("Invalid model specified! " + problem + " (model '" + std::string(model) + "').");
}

std::vector<Term> split_model(std::string_view model_text) {
    std::vector<Term> terms;
    const std::vector<std::string> texts = split_trimmed(model_text, '+');
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::string label = "Term " + std::to_string(i + 1);
        if (texts[i].empty()) invalid_model(model_text, label + " is empty");
        Term term;
        for (const std::string& part : split_trimmed(texts[i], '*')) {
            std::vector<std::string> nested = split_trimmed(part, '|');
            for (const std::string& name : nested)
                if (name.empty()) invalid_model(model_text, label + " '" + texts[i] + "' has an empty factor");
            std::string joined;
            for (const std::string& name : nested) joined += (joined.empty() ? "" : "|") + name;
            term.name += (term.name.empty() ? "" : "*") + joined;
            term.parts.push_back(std::move(nested));
        }
        terms.push_back(std::move(term));
    }
    return terms;
}

int header_column(std::span<const std::string> header, std::string_view table_name, const std::string& name,
                  const std::string& error_head, const std::string& where) {
    const auto found = std::find(header.begin(), header.end(), name);
    if (found != header.end()) return static_cast<int>(found - header.begin());
    if (header.size() == 1)
        throw RunError(error_head + " The header (line 1) of '" + std::string(table_name) + "' has no column '" + name +
                       "'" + where + ": it holds a single column, '" + header.front() +
                       "'. Is the separator right (--sep)?");
    throw RunError(error_head + " The header (line 1) of '" + std::string(table_name) + "' has no column '" + name +
                   "'" + where + "; the nearest is '" + tk::nearest_name(header, name) + "'.");
}

// The factor index of a column, numbering columns in the order the model names them.
int factor_of(TableColumns& columns, int column, const std::string& name) {
    const auto found = std::find(columns.factor_columns.begin(), columns.factor_columns.end(), column);
    if (found != columns.factor_columns.end()) return static_cast<int>(found - columns.factor_columns.begin());
    columns.factor_columns.push_back(column);
    columns.factor_names.push_back(name);
    return static_cast<int>(columns.factor_columns.size()) - 1;
}

// Parts left to right, the sub-parts of a nested part right to left.
Effect effect_of(const Term& term, std::size_t index, std::span<const std::string> header,
                 std::string_view table_name, std::string_view model_text, TableColumns& columns) {
    Effect effect;
    effect.name = term.name;
    const std::string where = " (term " + std::to_string(index + 1) + ")";
    for (const std::vector<std::string>& nested : term.parts)
        for (auto name = nested.rbegin(); name != nested.rend(); ++name) {
            const int column = header_column(header, table_name, *name, "Invalid model specified!", where);
            const int factor = factor_of(columns, column, *name);
            if (std::find(effect.factors.begin(), effect.factors.end(), factor) != effect.factors.end())
                invalid_model(model_text, "Term " + std::to_string(index + 1) + " '" + term.name +
                                              "' names the column '" + *name + "' twice");
            effect.factors.push_back(factor);
        }
    if (effect.factors.size() > static_cast<std::size_t>(factors_per_effect_limit))
        invalid_model(model_text, "Term " + std::to_string(index + 1) + " has " +
                                      std::to_string(effect.factors.size()) + " factors; an effect may have at most 50");
    return effect;
}

// The rows that every analysis has besides the effects: an effect of one of
// these names (in any letter case) would look like that row in the listing,
// the tables and the export file, and kirv would take one for the other.
constexpr std::string_view built_in_rows[] = {"Mean", "Error", "Total"};

void require_distinct_from_built_in_rows(const Term& term, std::size_t index, std::string_view model_text) {
    std::string name(tk::significant(term.name));
    tk::to_upper(name);
    for (std::string_view row : built_in_rows) {
        std::string upper(row);
        tk::to_upper(upper);
        if (name == upper)
            invalid_model(model_text, "Term " + std::to_string(index + 1) + " '" + term.name + "' has the name of the " +
                                          std::string(row) + " row of the analysis; rename the column (e.g. '" +
                                          term.name + "_1') in the table's header and in the model");
    }
}

void resolve_model(std::span<const std::string> header, std::string_view table_name, std::string_view model_text,
                   TableColumns& columns) {
    const std::vector<Term> terms = split_model(model_text);
    std::map<std::string, std::size_t> seen;
    for (std::size_t i = 0; i < terms.size(); ++i) {
        require_distinct_from_built_in_rows(terms[i], i, model_text);
        const auto [earlier, fresh] = seen.emplace(terms[i].name, i);
        if (!fresh)
            invalid_model(model_text, "Terms " + std::to_string(earlier->second + 1) + " and " +
                                          std::to_string(i + 1) + " are the same effect '" + terms[i].name + "'");
        columns.model.effects.push_back(effect_of(terms[i], i, header, table_name, model_text, columns));
    }
    columns.model.factor_count = static_cast<int>(columns.factor_columns.size());
}

void resolve_traits(std::span<const std::string> header, std::string_view table_name, std::string_view traits_text,
                    TableColumns& columns) {
    const std::vector<std::string> names = table_trait_names(traits_text);
    if (names.size() > static_cast<std::size_t>(trait_limit))
        throw RunError("Traits expression error! " + std::to_string(names.size()) +
                       " traits are named; at most 100 are allowed.");
    for (const std::string& name : names) {
        const int column = header_column(header, table_name, name, "Traits expression error!", "");
        const std::string_view problem =
            std::find(columns.trait_columns.begin(), columns.trait_columns.end(), column) != columns.trait_columns.end()
                ? "is named twice as a trait"
            : std::find(columns.factor_columns.begin(), columns.factor_columns.end(), column) !=
                      columns.factor_columns.end()
                ? "is a factor of the model and cannot be a trait as well"
            : name.find_first_of("{}") != std::string::npos ? "holds a brace, which a trait name cannot hold"
                                                            : "";
        if (!problem.empty())
            throw RunError("Traits expression error! The column '" + name + "' " + std::string(problem) + ".");
        columns.trait_columns.push_back(column);
        columns.trait_names.push_back(name);
    }
}

}  // namespace

std::vector<std::string> model_column_names(std::string_view model_text) {
    std::vector<std::string> names;
    for (const Term& term : split_model(model_text))
        for (const std::vector<std::string>& nested : term.parts)
            for (const std::string& name : nested)
                if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    return names;
}

std::vector<std::string> table_trait_names(std::string_view traits_text) {
    std::vector<std::string> names;
    if (traits_text.find('{') != std::string_view::npos) {
        for (std::string_view rest = traits_text;;) {
            const std::size_t open = rest.find('{');
            if (open == std::string_view::npos) break;
            const std::size_t close = rest.find('}', open);
            if (close == std::string_view::npos) throw RunError("Traits expression error!");
            names.push_back(tk::trimmed(rest.substr(open + 1, close - open - 1)));
            rest.remove_prefix(close + 1);
        }
    } else {
        for (const std::string& name : split_trimmed(traits_text, ','))
            if (!name.empty()) names.push_back(name);
    }
    if (names.empty()) throw RunError("No trait specified! Name the trait columns, e.g. --traits bwt,wwt.");
    return names;
}

TableColumns resolve_table_columns(std::span<const std::string> header, std::string_view table_name,
                                   std::string_view model_text, std::string_view traits_text) {
    TableColumns columns;
    resolve_model(header, table_name, model_text, columns);
    resolve_traits(header, table_name, traits_text, columns);
    return columns;
}

std::string braced_trait_text(std::span<const std::string> trait_names) {
    std::string text;
    for (const std::string& name : trait_names) text += (text.empty() ? "{" : " {") + name + "}";
    return text;
}

}  // namespace tarvel
