// What kirv writes after its computations: the results listing (ten blocks
// chosen by the print flags) or the summary records for the host, the first
// summary record, the outcome lines of the bending step, the
// "** RESULTS OF BENDING **" block and the bending records of the summary file.
#pragma once

#include "common/files.hpp"
#include "common/matrix.hpp"
#include "kirv/bending.hpp"
#include "kirv/components.hpp"
#include "kirv/estimate_checks.hpp"
#include "kirv/heritability.hpp"
#include "kirv/input.hpp"

#include <string>
#include <vector>

namespace kirv {

struct Results {
    GroupLevel group;             // Gg, Pg
    Heritabilities group_h2;
    IndividualLevel individual;   // Gi, Pi and their coefficients
    Heritabilities individual_h2;
    Correlations genetic;         // correlations of Gg
    Correlations phenotypic;      // correlations of Pi
    EstimateChecks checks;        // negative components, parameters at a bound, definiteness of Gg
};

// The listing (listing switch 1 or more: the blocks whose print flag is
// exactly 1, each followed by the notes of its checks, then the notes whose
// blocks are not printed and one blank record) or the summary records
// (otherwise: 8t + 4 list-directed records, whatever the flags say).
void write_results(tk::TextWriter& out, int listing_switch, const Results& results,
                   const std::vector<std::string>& trait_names, const PrintFlags& print_flags);

// The nine items of the summary file's first record: 0, neff, ntrait, the
// bending switch, the genetic group ID, the reference ID, the relative
// coefficient, the minimum eigenvalue and 0.
void write_first_summary_record(tk::TextWriter& summary, const Specification& input);

// ">>> R E S U L T S <<<" when no bending block has written it.
void write_results_heading(tk::TextWriter& listing);

// The outcome of a bending, numbered in the order its cases are tested (the
// JSON results report these numbers).
enum class BendingOutcome {
    eigenvalues_failed = 1,    // the eigenvalues of VC(g) were not found
    not_needed = 2,            // no eigenvalue below the minimum
    out_of_memory = 3,         // status -1
    reference_failed = 4,      // status -20 or lower: eigenvalues of A or of a bent matrix failed
    reference_unsuitable = 5,  // status -4 with a minimum of 0 or less
    limit_missed = 6,          // status -4 with a minimum above 0
    success = 7,               // status 1
    other = 8                  // any other status: no message
};

BendingOutcome classify_bending(const Bending& bending, double minimum_eigenvalue);

// The listing lines of the outcome: the ERROR or MESSAGE lines with their two
// blank records, or for a success the reference messages (identity used).
std::vector<std::string> bending_outcome_lines(const Bending& bending, double minimum_eigenvalue);

// The "** RESULTS OF BENDING **" block, opened by ">>> R E S U L T S <<<";
// original is VC(g) before the bent matrix replaces it.
void write_bending_block(tk::TextWriter& listing, const Bending& bending, const tk::Matrix& original,
                         const std::vector<std::string>& trait_names);

// The three summary records of a successful bending: the bending factor, the
// original and the bent eigenvalues.
void write_bending_summary_records(tk::TextWriter& summary, const Bending& bending);

}  // namespace kirv
