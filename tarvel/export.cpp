#include "tarvel/export.hpp"

#include <vector>

#include "common/format.hpp"
#include "common/tokenizer.hpp"

namespace tarvel {
namespace {

// A count written with "(i3)" into a 12-character field, as it goes into a built format.
std::string count_field(int count) { return tk::write_internal("(i3)", {count}, 12); }

void put_text(tk::TextWriter& out, std::string_view text) { tk::write_formatted(out, "(A)", {text}); }

}  // namespace

void write_export_header(tk::TextWriter& out, std::string_view trait_text) {
    put_text(out, "//RELATIVE_ID        = 0.25");
    put_text(out, "//GENOTYPIC_GROUP_ID = 2");
    put_text(out, "//BENDING_ID         = 0");
    put_text(out, "//REFERENCE_ID       = 0");
    put_text(out, "//MINIMUM_EIGEN      = 0.00");
    put_text(out, " ");
    put_text(out, tk::significant(trait_text));
    put_text(out, " ");
}

// Row 0: "(" n+1 "(g15.8,1x))"; row r: "(" r "(a16)" "," n-r+1 "(g15.8,1x))".
std::string export_ems_row_format(int r, int n) {
    std::string format = "(";
    if (r > 0) {
        format += count_field(r);
        format += "(a16),";
    }
    format += count_field(n - r + 1);
    format += "(g15.8,1x))";
    return format;
}

std::string export_residual_row_format(int n) {
    std::string format = "(";
    format += count_field(n);
    format += "(a16),f11.7)";
    return format;
}

// Effect row r: r blanks printed as 16 blanks each, then E(r, r) ... E(r, n-1) and
// the residual's coefficient 1.0; the rows line up as an upper triangle.
void write_export_ems_block(tk::TextWriter& out, std::span<const double> coefficients, int n) {
    put_text(out, "EMS / UP");
    const std::size_t width = static_cast<std::size_t>(n);
    for (std::size_t r = 0; r < width; ++r) {
        std::vector<tk::Item> items(r, tk::Item(" "));
        for (std::size_t c = r; c < width; ++c) items.emplace_back(coefficients[r * width + c]);
        items.emplace_back(1.0);
        tk::write_formatted(out, export_ems_row_format(static_cast<int>(r), n), items);
    }
    std::vector<tk::Item> residual(width, tk::Item(" "));
    residual.emplace_back(1.0);
    tk::write_formatted(out, export_residual_row_format(n), residual);
    put_text(out, " ");
}

void write_export_degrees_of_freedom(tk::TextWriter& out, std::span<const int> degrees_of_freedom) {
    std::vector<tk::Item> items{tk::Item("DF = ")};
    for (int df : degrees_of_freedom) items.emplace_back(df);
    tk::write_formatted(out, "(A,100(I9))", items);
    put_text(out, " ");
}

void write_export_effect_names(tk::TextWriter& out, std::span<const std::string> names) {
    for (std::size_t k = 0; k < names.size(); ++k)
        put_text(out, std::string(export_effect_keyword) + " " + std::to_string(k + 1) + " = " +
                          std::string(tk::significant(names[k])));
    put_text(out, " ");
}

void write_export_sums_of_squares(tk::TextWriter& out, std::span<const float> table, int sources, int t) {
    put_text(out, "SS / LOW");
    const char* format = t == 1 ? "(G15.8)" : "(5000(G15.8, 1X))";
    std::vector<tk::Item> items;
    for (int k = 0; k < sources; ++k) {
        for (int i = 0; i < t; ++i) {
            items.clear();
            for (int j = 0; j <= i; ++j) items.emplace_back(table[trait_matrix_index(k, i, j, sources, t)]);
            tk::write_formatted(out, format, items);
        }
    }
    put_text(out, " ");
}

}  // namespace tarvel
