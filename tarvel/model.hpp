// The model of a run: effects in model order, each with its factor list.
#pragma once

#include <string>
#include <vector>

namespace tarvel {

struct Effect {
    std::string name;          // the effect's text as written in the model, at most 20 characters
    std::vector<int> factors;  // 0-based factor indices (letter A is 0), in stored order
};

struct Model {
    std::vector<Effect> effects;  // n effects, model order
    int factor_count = 0;         // f: the highest factor letter used anywhere in the model
};

}  // namespace tarvel
