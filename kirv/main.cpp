// kirv: genetic parameters from an analysis of variance.
#include "kirv/command_line.hpp"
#include "kirv/driver.hpp"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    // Without arguments the host protocol: the settings come from "tanv~tm3.$$$".
    if (argc <= 1) return kirv::run_driver(kirv::local_time_now());
    // With arguments the command line takes the control file's place.
    return kirv::run_command_line(std::vector<std::string>(argv + 1, argv + argc), kirv::local_time_now());
}
