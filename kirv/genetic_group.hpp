// Which effect is the genetic group: by its number or, when the data file
// names its effects, by its name; and, when the effects have names and none
// was chosen, the effect that kirv takes and why.
//
// Effects are 0-based here, numbered by the user from 1; the last effect of
// kirv's data is always the residual, which, like the mean (never among
// kirv's effects), cannot be the genetic group.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/files.hpp"

namespace kirv {

// What the user gave: a number, a name, or nothing; and whether kirv may
// then choose (a run from a shell) or not (the host protocol).
struct GroupRequest {
    std::optional<int> id;            // 1-based
    std::optional<std::string> name;  // the effect's name, as the data file names it
    bool may_choose = false;
};

struct GeneticGroup {
    int effect = 0;      // 0-based
    std::string reason;  // not empty when kirv chose the effect: why this one
};

// The effect names of the "//EFFECT k = name" lines of a data file (the
// export file of a run from a shell), in effect order, the residual last;
// empty when the file has none. RunError (status_bad_effect_names) when they
// do not name every one of the neff effects once. The file is rewound.
std::vector<std::string> read_effect_names(tk::TextReader& data, int neff);

// The genetic group of the request among neff effects (names: empty, or one
// per effect). Without a request, with names and when it may, kirv chooses
// only where the model leaves no doubt: the one effect within which another
// is nested (sire in 'sire + dam|sire'), or the one effect of a one-effect
// model. RunError (status_genetic_group) for a number out of range, the
// residual, the mean, a name that no effect has (with the nearest one), a
// name without names in the file, and no request otherwise (naming the
// effects to choose from when they have names).
GeneticGroup choose_genetic_group(const GroupRequest& request, std::span<const std::string> names, int neff);

// "3 (sire)": an effect as the memo and the messages show it; the number
// alone without names.
std::string effect_label(int effect, std::span<const std::string> names);

}  // namespace kirv
