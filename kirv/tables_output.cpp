#include "kirv/tables_output.hpp"

namespace kirv {
namespace {

using tk::csv_cell;

tk::CsvTable parameters_table(const tk::Json& results) {
    tk::CsvTable table{"parameters.csv",
                       {"trait", "h2_group", "se_h2_group", "h2_group_raw", "h2_group_flag", "h2_individual",
                        "se_h2_individual", "h2_individual_raw", "h2_individual_flag"},
                       {}};
    const tk::Json& traits = results.at("traits");
    for (std::size_t i = 0; i < traits.size(); ++i) {
        std::vector<std::string> row{csv_cell(traits.at(i))};
        for (const char* level : {"group_level", "individual_level"}) {
            const tk::Json& h = results.at(level).at("heritability");
            row.push_back(csv_cell(h.at("value").at(i)));
            row.push_back(csv_cell(h.at("standard_error").at(i)));
            row.push_back(csv_cell(h.at("raw").at(i)));
            row.push_back(csv_cell(h.at("flag").at(i)));
        }
        table.rows.push_back(std::move(row));
    }
    return table;
}

// Each pair of different traits once (the matrices are symmetric).
tk::CsvTable correlations_table(const tk::Json& results) {
    tk::CsvTable table{"correlations.csv",
                       {"trait_1", "trait_2", "rg", "se_rg", "rg_raw", "rg_flag", "rp", "se_rp", "rp_raw", "rp_flag"},
                       {}};
    const tk::Json& traits = results.at("traits");
    for (std::size_t i = 0; i < traits.size(); ++i)
        for (std::size_t j = i + 1; j < traits.size(); ++j) {
            std::vector<std::string> row{csv_cell(traits.at(i)), csv_cell(traits.at(j))};
            for (const char* kind : {"genetic_correlations", "phenotypic_correlations"}) {
                const tk::Json& c = results.at(kind);
                row.push_back(csv_cell(c.at("value").at(i).at(j)));
                row.push_back(csv_cell(c.at("standard_error").at(i).at(j)));
                row.push_back(csv_cell(c.at("raw").at(i).at(j)));
                row.push_back(csv_cell(c.at("flag").at(i).at(j)));
            }
            table.rows.push_back(std::move(row));
        }
    return table;
}

// The upper triangle, the diagonal included, of each symmetric matrix.
tk::CsvTable covariances_table(const tk::Json& results) {
    tk::CsvTable table{"covariances.csv", {"level", "matrix", "trait_1", "trait_2", "value"}, {}};
    const tk::Json& traits = results.at("traits");
    for (const auto& [level, key] : {std::pair{"group", "group_level"}, std::pair{"individual", "individual_level"}})
        for (const char* matrix : {"genetic", "phenotypic"}) {
            const tk::Json& m = results.at(key).at(matrix);
            for (std::size_t i = 0; i < traits.size(); ++i)
                for (std::size_t j = i; j < traits.size(); ++j)
                    table.rows.push_back(
                        {level, matrix, csv_cell(traits.at(i)), csv_cell(traits.at(j)), csv_cell(m.at(i).at(j))});
        }
    return table;
}

const tk::Json& element(const tk::Json& list, std::size_t i) {
    static const tk::Json none;
    return list.is_array() && i < list.size() ? list.at(i) : none;
}

// One row per eigenvalue (in descending order), with the run's factor and outcome.
tk::CsvTable bending_table(const tk::Json& results) {
    tk::CsvTable table{"bending.csv", {"eigenvalue", "original", "bent", "factor", "outcome", "applied"}, {}};
    const tk::Json& b = results.at("bending");
    for (std::size_t i = 0; i < results.at("traits").size(); ++i)
        table.rows.push_back({std::to_string(i + 1), csv_cell(element(b.at("original_eigenvalues"), i)),
                              csv_cell(element(b.at("bent_eigenvalues"), i)), csv_cell(b.at("factor")),
                              csv_cell(b.at("outcome")), csv_cell(b.at("applied"))});
    return table;
}

}  // namespace

std::vector<tk::CsvTable> result_tables(const tk::Json& results) {
    std::vector<tk::CsvTable> tables{parameters_table(results), correlations_table(results),
                                     covariances_table(results)};
    if (results.at("bending").at("requested").get<bool>()) tables.push_back(bending_table(results));
    return tables;
}

std::optional<std::string> write_result_tables(const std::string& directory, const tk::Json& results,
                                               std::vector<tk::TextWriter>& files) {
    // A bending table of an earlier run must not pass for this run's.
    if (!results.at("bending").at("requested").get<bool>())
        tk::remove_regular_file(tk::table_path(directory, "bending.csv"));
    return tk::write_csv_tables(directory, result_tables(results), files);
}

}  // namespace kirv
