#include "kirv/estimate_checks.hpp"

#include "common/number_text.hpp"
#include "common/tokenizer.hpp"
#include "kirv/eigen.hpp"
#include "kirv/genetic_group.hpp"
#include "kirv/heritability.hpp"

#include <cmath>
#include <limits>

namespace kirv {
namespace {

constexpr double not_computable = std::numeric_limits<double>::quiet_NaN();
constexpr std::size_t warning_entries = 5;  // entries of a note shown on standard error
constexpr const char* entry_indent = "      ";

std::size_t at(int k) { return static_cast<std::size_t>(k); }

std::string name_of(const std::vector<std::string>& names, int i) { return std::string(tk::significant(names[at(i)])); }

// The bound a ratio outside low to 1 is printed at. The flag of a parameter
// and the bound its note names follow from this one rule, applied to the
// ratio that is printed.
bool is_outside(double ratio, double low) { return ratio > 1.0 || ratio < low; }
double printed_bound(double ratio, double low) { return ratio > 1.0 ? 1.0 : low; }

// One trait's heritability: g raw, g_used and p_used as printed.
ParameterFlag flag_of_heritability(double g, double g_used, double p_used) {
    if (g < 0.0) return ParameterFlag::negative_variance;
    if (std::fabs(p_used) <= vanishing) return ParameterFlag::vanishing_variance;
    return is_outside(g_used / p_used, 0.0) ? ParameterFlag::bound : ParameterFlag::estimate;
}

HeritabilityChecks heritability_checks(const tk::Matrix& g, const tk::Matrix& p, const tk::Matrix& g_used,
                                       const tk::Matrix& p_used) {
    HeritabilityChecks h;
    for (int i = 0; i < g.rows; ++i) {
        h.raw.push_back(std::fabs(p(i, i)) > vanishing ? g(i, i) / p(i, i) : not_computable);
        h.flag.push_back(flag_of_heritability(g(i, i), g_used(i, i), p_used(i, i)));
        h.bound.push_back(h.flag.back() == ParameterFlag::bound ? printed_bound(g_used(i, i) / p_used(i, i), 0.0)
                                                                : not_computable);
    }
    return h;
}

// The correlation of traits i and j of the printed matrix; NaN when a
// variance is not above 0 (signed, as the correlation tests it).
double printed_correlation(const tk::Matrix& used, int i, int j) {
    if (used(i, i) < vanishing || used(j, j) < vanishing) return not_computable;
    return used(i, j) / std::sqrt(used(i, i) * used(j, j));
}

ParameterFlag flag_of_correlation(const tk::Matrix& x, double r, int i, int j) {
    if (std::isnan(r))
        return x(i, i) < 0.0 || x(j, j) < 0.0 ? ParameterFlag::negative_variance : ParameterFlag::vanishing_variance;
    return is_outside(r, -1.0) ? ParameterFlag::bound : ParameterFlag::estimate;
}

CorrelationChecks correlation_checks(const tk::Matrix& x, const tk::Matrix& used) {
    const int t = x.rows;
    CorrelationChecks c{tk::Matrix(t, t), {}, tk::Matrix(t, t)};
    c.flag.reserve(at(t) * at(t));
    for (int j = 0; j < t; ++j)
        for (int i = 0; i < t; ++i) {
            const bool variances = x(i, i) > vanishing && x(j, j) > vanishing;
            c.raw(i, j) = variances ? x(i, j) / std::sqrt(x(i, i) * x(j, j)) : not_computable;
            const double r = printed_correlation(used, i, j);
            c.flag.push_back(flag_of_correlation(x, r, i, j));
            c.bound(i, j) = c.flag.back() == ParameterFlag::bound ? printed_bound(r, -1.0) : not_computable;
        }
    return c;
}

GeneticDefiniteness definiteness(const tk::Matrix& genetic) {
    const Eigenvalues e = symmetric_eigenvalues(genetic);
    if (e.error_index != 0 || e.values.empty()) return {};
    return {true, e.values.front()};
}

// The notes of one kind of parameter: a heading and one entry per parameter
// not printed as estimated.
struct Note {
    std::string heading;
    std::vector<std::string> entries;
};

std::string bound_text(double raw, double printed) {
    return "estimate " + tk::message_number(raw) + ", printed as " + tk::message_number(printed);
}

Note heritability_note(const HeritabilityChecks& h, const char* level, const std::vector<std::string>& names) {
    Note note;
    for (std::size_t i = 0; i < h.flag.size(); ++i) {
        const std::string name = name_of(names, static_cast<int>(i));
        const double raw = h.raw[i];
        switch (h.flag[i]) {
            case ParameterFlag::estimate: continue;
            case ParameterFlag::bound:
                note.entries.push_back(name + ": " + bound_text(raw, h.bound[i]));
                break;
            case ParameterFlag::negative_variance:
                note.entries.push_back(name + ": the genetic variance is negative (estimate " + tk::message_number(raw) +
                                       "), printed as 0");
                break;
            case ParameterFlag::vanishing_variance:
                note.entries.push_back(name + ": the phenotypic variance is 0, printed as 0");
                break;
        }
    }
    note.heading = std::to_string(note.entries.size()) + " " + level +
                   " heritability(ies) printed at a bound of 0 to 1 or as 0:";
    return note;
}

Note correlation_note(const CorrelationChecks& c, const char* kind, const std::vector<std::string>& names) {
    Note note;
    const int t = c.raw.rows;
    for (int i = 0; i < t; ++i)
        for (int j = i + 1; j < t; ++j) {
            const std::string pair = name_of(names, i) + "-" + name_of(names, j);
            const double raw = c.raw(i, j);
            switch (c.at(i, j)) {
                case ParameterFlag::estimate: continue;
                case ParameterFlag::bound:
                    note.entries.push_back(pair + ": " + bound_text(raw, c.bound(i, j)));
                    break;
                case ParameterFlag::negative_variance:
                    note.entries.push_back(pair + ": a " + std::string(kind) + " variance is negative, printed as 0");
                    break;
                case ParameterFlag::vanishing_variance:
                    note.entries.push_back(pair + ": a " + std::string(kind) + " variance is 0, printed as 0");
                    break;
            }
        }
    note.heading = std::to_string(note.entries.size()) + " " + kind +
                   " correlation(s) printed at a bound of -1 to 1 or as 0:";
    return note;
}

Note components_note(const EstimateChecks& checks, const std::vector<std::string>& names) {
    Note note;
    for (const NegativeComponent& c : checks.negative_components)
        note.entries.push_back("effect " + effect_label(c.effect, checks.effect_names) + ", " +
                               name_of(names, c.trait) + ": " + tk::message_number(c.value));
    note.heading = std::to_string(note.entries.size()) +
                   " variance component(s) were negative and are set to 0 before the parameters are computed:";
    return note;
}

Note note_of(const EstimateChecks& checks, NoteSubject subject, const std::vector<std::string>& names) {
    switch (subject) {
        case NoteSubject::components: return components_note(checks, names);
        case NoteSubject::genetic_matrix: {
            const GeneticDefiniteness& d = checks.genetic_matrix;
            if (!d.known || d.positive_definite()) return {};
            return {"the genetic variance-covariance matrix is not positive definite: its smallest eigenvalue is " +
                        tk::message_number(d.smallest_eigenvalue) + ".",
                    {}};
        }
        case NoteSubject::group_h2: return heritability_note(checks.group_h2, "g_group", names);
        case NoteSubject::individual_h2: return heritability_note(checks.individual_h2, "individual", names);
        case NoteSubject::genetic_r: return correlation_note(checks.genetic, "genetic", names);
        case NoteSubject::phenotypic_r: return correlation_note(checks.phenotypic, "phenotypic", names);
    }
    return {};
}

bool is_empty(const Note& note, NoteSubject subject) {
    return subject == NoteSubject::genetic_matrix ? note.heading.empty() : note.entries.empty();
}

constexpr NoteSubject all_subjects[] = {NoteSubject::components, NoteSubject::genetic_matrix,
                                        NoteSubject::group_h2,   NoteSubject::individual_h2,
                                        NoteSubject::genetic_r,  NoteSubject::phenotypic_r};

}  // namespace

const char* flag_name(ParameterFlag flag) {
    switch (flag) {
        case ParameterFlag::estimate: return "estimate";
        case ParameterFlag::bound: return "bound";
        case ParameterFlag::negative_variance: return "negative_variance";
        case ParameterFlag::vanishing_variance: return "vanishing_variance";
    }
    return "estimate";
}

RawEstimates raw_estimates(int g, double relative, const EffectMatrices& vc, const EffectMatrices& ms,
                           const tk::Matrix& inverse_ems) {
    RawEstimates raw{{}, partition_group_level(g, vc, inverse_ems, ms),
                     partition_individual_level(g, relative, vc, inverse_ems)};
    for (std::size_t k = 0; k < vc.size(); ++k)
        for (int j = 0; j < vc[k].rows; ++j)
            if (vc[k](j, j) < 0.0) raw.negative_components.push_back({static_cast<int>(k), j, vc[k](j, j)});
    return raw;
}

EstimateChecks check_estimates(const RawEstimates& raw, const GroupLevel& group, const IndividualLevel& individual,
                               const std::vector<std::string>& effect_names) {
    EstimateChecks checks;
    checks.negative_components = raw.negative_components;
    checks.effect_names = effect_names;
    checks.group_h2 = heritability_checks(raw.group.genetic, raw.group.phenotypic, group.genetic, group.phenotypic);
    checks.individual_h2 = heritability_checks(raw.individual.genetic, raw.individual.phenotypic, individual.genetic,
                                               individual.phenotypic);
    checks.genetic = correlation_checks(raw.group.genetic, group.genetic);
    checks.phenotypic = correlation_checks(raw.individual.phenotypic, individual.phenotypic);
    checks.genetic_matrix = definiteness(group.genetic);
    return checks;
}

std::vector<std::string> estimate_note(const EstimateChecks& checks, NoteSubject subject,
                                       const std::vector<std::string>& names) {
    const Note note = note_of(checks, subject, names);
    if (is_empty(note, subject)) return {};
    std::vector<std::string> lines{"Note: " + note.heading};
    for (const std::string& entry : note.entries) lines.push_back(entry_indent + entry);
    return lines;
}

void write_estimate_warnings(tk::Host& host, const EstimateChecks& checks, const std::vector<std::string>& names) {
    for (NoteSubject subject : all_subjects) {
        const Note note = note_of(checks, subject, names);
        if (is_empty(note, subject)) continue;
        std::string text = note.heading;
        for (std::size_t i = 0; i < note.entries.size() && i < warning_entries; ++i)
            text += "\n    " + note.entries[i];
        if (note.entries.size() > warning_entries) text += "\n    ...";
        tk::warning(host, text);
    }
}

}  // namespace kirv
