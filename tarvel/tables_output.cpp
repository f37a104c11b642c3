#include "tarvel/tables_output.hpp"

#include "tarvel/run_error.hpp"
#include "tarvel/table_reader.hpp"

namespace tarvel {
namespace {

using tk::csv_cell;
using Row = std::vector<std::string>;

tk::CsvTable anova_table(const tk::Json& results) {
    tk::CsvTable table{"anova.csv",
                       {"trait_1", "trait_2", "source", "df", "ss", "ms", "component", "sd", "denominator", "f",
                        "satterthwaite_df", "probability", "component_negative"},
                       {}};
    for (const tk::Json& pair : results.at("pairs")) {
        const std::string trait_1 = csv_cell(pair.at("traits").at(0));
        const std::string trait_2 = csv_cell(pair.at("traits").at(1));
        for (const tk::Json& row : pair.at("rows")) {
            Row cells{trait_1, trait_2, csv_cell(row.at("source"))};
            for (const char* key : {"df", "ss", "ms", "component", "sd", "denominator", "f", "satterthwaite_df",
                                    "probability", "negative_variance"})
                cells.push_back(csv_cell(row.at(key)));
            table.rows.push_back(std::move(cells));
        }
    }
    return table;
}

// E[MS(source)] = sum over components of coefficient x component; the
// residual ("Error") enters every expected mean square with coefficient 1.
tk::CsvTable ems_table(const tk::Json& results) {
    tk::CsvTable table{"ems.csv", {"source", "component_of", "coefficient"}, {}};
    const tk::Json& effects = results.at("effects");
    const tk::Json& k = results.at("expected_mean_squares");
    const std::size_t n = effects.size();
    const auto name = [&effects, n](std::size_t e) {
        return e < n ? csv_cell(effects.at(e).at("name")) : tk::csv_text("Error");
    };
    for (std::size_t r = 0; r <= n; ++r)
        for (std::size_t c = 0; c <= n; ++c) {
            const std::string coefficient = c == n ? "1" : r == n ? "0" : csv_cell(k.at(r).at(c));
            table.rows.push_back({name(r), name(c), coefficient});
        }
    return table;
}

// The cases missing per trait, where the data tell (a table's columns); null otherwise.
tk::Json missing_of(const tk::Json& results, std::size_t trait) {
    const tk::Json& table = results.value("table", tk::Json());
    if (!table.is_object()) return nullptr;
    return table.at("traits").at(trait).at("missing");
}

// One count per row: the run's counts (trait NA), the problem cases of each
// kind, then the cases missing per trait (NA where the data file does not tell).
tk::CsvTable cases_table(const tk::Json& results) {
    tk::CsvTable table{"cases.csv", {"count", "trait", "cases"}, {}};
    const tk::Json& cases = results.at("cases");
    const tk::Json& traits = results.at("settings").at("traits");
    const std::string none(tk::csv_missing);
    for (const char* count : {"accepted", "skipped", "unreadable"})
        table.rows.push_back({count, none, csv_cell(cases.at(count))});
    for (const auto& [kind, problem] : cases.at("problems").items())
        if (!cases.contains(kind) && !is_trait_missing_kind(results, kind))
            table.rows.push_back({tk::csv_text(kind), none, csv_cell(problem.at("count"))});
    for (std::size_t i = 0; i < traits.size(); ++i)
        table.rows.push_back({"missing", csv_cell(traits.at(i)), csv_cell(missing_of(results, i))});
    return table;
}

}  // namespace

bool is_trait_missing_kind(const tk::Json& results, const std::string& kind) {
    const tk::Json& table = results.value("table", tk::Json());
    if (!table.is_object()) return false;
    for (const tk::Json& trait : table.at("traits"))
        if (kind == trait_missing_kind(trait.at("name").get<std::string>())) return true;
    return false;
}

std::vector<tk::CsvTable> result_tables(const tk::Json& results) {
    return {anova_table(results), ems_table(results), cases_table(results)};
}

void write_result_tables(const std::string& directory, const tk::Json& results, std::vector<tk::TextWriter>& files) {
    if (const std::optional<std::string> problem = tk::write_csv_tables(directory, result_tables(results), files))
        throw RunError(*problem);
}

}  // namespace tarvel
