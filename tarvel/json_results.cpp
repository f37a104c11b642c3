#include "tarvel/json_results.hpp"

#include "common/tokenizer.hpp"

#include <algorithm>

namespace tarvel {
namespace {

std::size_t at(int k) { return static_cast<std::size_t>(k); }

tk::Json print_document(const OutputSwitches& s) {
    return {{"ms", s.ms}, {"ss", s.ss}, {"vc", s.vc}, {"cr", s.cr}, {"kirv", s.kirv}};
}

tk::Json settings_document(const JsonRun& run) {
    const Specification& specification = run.specification;
    tk::Json traits = tk::Json::array();
    for (const std::string& name : run.checked.trait_names) traits.push_back(std::string(tk::significant(name)));
    tk::Json missing = tk::Json::array();
    for (float code : specification.missing_codes) missing.push_back(tk::json_number(code));
    return {
        {"data_file", run.data_file},
        {"listing_file", run.listing_file},
        {"model", specification.model ? tk::Json(*specification.model) : tk::Json(nullptr)},
        {"data_format", specification.data_format ? tk::Json(*specification.data_format) : tk::Json(nullptr)},
        {"traits", traits},
        {"missing_values", missing},
        {"print", print_document(specification.switches)},
    };
}

bool is_left_out(const ExpectedMeanSquares& ems, int effect) {
    return std::find(ems.left_out_effects.begin(), ems.left_out_effects.end(), effect) != ems.left_out_effects.end();
}

tk::Json effects_document(const AnalysisRecord& record) {
    tk::Json effects = tk::Json::array();
    for (std::size_t e = 0; e < record.effect_names.size(); ++e)
        effects.push_back({{"name", record.effect_names[e]},
                           {"columns", record.effect_columns[e]},
                           {"left_out", is_left_out(record.ems, static_cast<int>(e))}});
    return effects;
}

// K(r, c) of the effects (sources 1 ... n), the coefficients the host receives.
tk::Matrix effect_coefficients(const ExpectedMeanSquares& ems) {
    tk::Matrix k(ems.n, ems.n);
    for (int r = 0; r < ems.n; ++r)
        for (int c = 0; c < ems.n; ++c) k(r, c) = ems.k(r + 1, c + 1);
    return k;
}

tk::Json row_document(const char* kind, const std::string& source, tk::Json df) {
    return {
        {"kind", kind},      {"source", source},         {"df", std::move(df)},
        {"ss", nullptr},     {"ms", nullptr},            {"component", nullptr},
        {"sd", nullptr},     {"denominator", nullptr},   {"f", nullptr},
        {"satterthwaite_df", nullptr}, {"nd", nullptr}, {"probability", nullptr},
        {"negative_variance", nullptr},
    };
}

// DF, SS, MS, VC and SD of source a.
void put_sums(tk::Json& row, const PairAnalysis& pair, std::size_t a) {
    row["ss"] = tk::json_number(pair.ss[a]);
    row["ms"] = tk::json_number(pair.ms[a]);
    row["component"] = tk::json_number(pair.vc[a]);
    row["sd"] = tk::json_number(pair.sd[a]);
}

// Whether the variance component of an effect or the residual is negative
// (null in a covariance pair).
void put_negative_flag(tk::Json& row, const PairAnalysis& pair, std::size_t a) {
    if (pair.s == pair.u) row["negative_variance"] = pair.has_negative_variance(static_cast<int>(a));
}

tk::Json summary_document(const PairAnalysis& pair) {
    return {
        {"model_ss", tk::json_number(pair.total_ss)},
        {"model_df", pair.total_df},
        {"yy", tk::json_number(pair.yy)},
        {"corrected_total", tk::json_number(pair.corrected_total)},
        {"corrected_total_df", pair.total_row_df},
        {"design_columns", pair.design_columns},
        {"accounted", tk::json_number(pair.accounted)},
        {"accounted_percent", tk::json_number(pair.accounted_percent)},
    };
}

tk::Json pair_document(const PairAnalysis& pair, const AnalysisRecord& record, const tk::Json& trait_names) {
    return {
        {"kind", pair.s == pair.u ? "variance" : "covariance"},
        {"trait_numbers", {pair.s + 1, pair.u + 1}},
        {"traits", {trait_names.at(at(pair.s)), trait_names.at(at(pair.u))}},
        {"rows", pair_rows_document(pair, record)},
        {"summary", summary_document(pair)},
    };
}

tk::Json computation_document(const ComputationRecord& c) {
    return {
        {"reduction", c.reduction},
        {"absorbed_effect", c.absorbed_effect.empty() ? tk::Json(nullptr) : tk::Json(c.absorbed_effect)},
        {"dense_columns", c.dense_columns},
        {"threads", c.threads},
        {"blas_kernel", c.blas_kernel},
        {"blas_threads", c.blas_threads},
        {"blas_note", c.blas_note.empty() ? tk::Json(nullptr) : tk::Json(c.blas_note)},
    };
}

}  // namespace

tk::Json pair_rows_document(const PairAnalysis& pair, const AnalysisRecord& record) {
    tk::Json rows = tk::Json::array();
    const std::size_t residual = pair.ss.size() - 1;
    tk::Json mean = row_document("mean", "Mean", pair.df[0]);
    put_sums(mean, pair, 0);
    rows.push_back(std::move(mean));
    for (std::size_t a = 1; a < residual; ++a) {
        tk::Json row = row_document("effect", record.effect_names[a - 1], pair.df[a]);
        put_sums(row, pair, a);
        row["denominator"] = tk::json_number(pair.denominator[a]);
        row["f"] = tk::json_number(pair.f[a]);
        row["satterthwaite_df"] = tk::json_number(pair.satterthwaite_df[a]);
        row["nd"] = pair.nd[a];
        if (pair.has_probability(static_cast<int>(a))) row["probability"] = tk::json_number(pair.probability[a]);
        put_negative_flag(row, pair, a);
        rows.push_back(std::move(row));
    }
    tk::Json error = row_document("residual", "Error", pair.df[residual]);
    put_sums(error, pair, residual);
    put_negative_flag(error, pair, residual);
    rows.push_back(std::move(error));
    tk::Json total = row_document("total", "Total", pair.total_row_df);
    total["ss"] = tk::json_number(pair.corrected_total);
    rows.push_back(std::move(total));
    return rows;
}

tk::Json table_document(const TableReading& table) {
    const TableColumns& columns = table.columns;
    const TableReport& report = table.report;
    tk::Json factors = tk::Json::array();
    for (std::size_t k = 0; k < columns.factor_names.size(); ++k)
        factors.push_back({{"name", columns.factor_names[k]},
                           {"column", columns.factor_columns[k] + 1},
                           {"levels", table.cases.largest_levels[k]},
                           {"missing", report.missing_by_factor[k]}});
    tk::Json traits = tk::Json::array();
    for (std::size_t i = 0; i < columns.trait_names.size(); ++i)
        traits.push_back({{"name", columns.trait_names[i]},
                          {"column", columns.trait_columns[i] + 1},
                          {"missing", report.missing_by_trait[i]}});
    return {
        {"separator", std::string(1, report.separator)},
        {"rows", report.rows},
        {"missing_texts", report.missing_texts},
        {"unmatched_missing_codes", report.unmatched_missing_codes},
        {"factors", std::move(factors)},
        {"traits", std::move(traits)},
    };
}

tk::Json results_document(const JsonRun& run) {
    const AnalysisRecord& record = run.record;
    tk::Json settings = settings_document(run);
    tk::Json left_out = tk::Json::array();
    for (int e : record.ems.left_out_effects) left_out.push_back(e + 1);
    tk::Json pairs = tk::Json::array();
    for (const PairAnalysis& pair : record.pairs) pairs.push_back(pair_document(pair, record, settings["traits"]));
    tk::Json document = {
        {"program", "tarvel"},
        {"schema_version", json_schema_version},
        {"settings", std::move(settings)},
        {"effects", effects_document(record)},
        {"design_columns", record.design_columns},
        {"cases",
         {{"accepted", run.cases_accepted},
          {"skipped", run.cases_skipped},
          {"unreadable", run.cases_unreadable},
          {"problems", case_report_json(run.problems)}}},
        {"expected_mean_squares", tk::json_matrix(effect_coefficients(record.ems))},
        {"left_out_effects", std::move(left_out)},
        {"pairs", std::move(pairs)},
        {"computation", computation_document(record.computation)},
    };
    if (run.table) document["table"] = table_document(*run.table);
    return document;
}

}  // namespace tarvel
