// tarvel: Type I analysis of variance and covariance. Started by the host
// without arguments, everything comes from the control file; started with
// arguments, the command line takes the control file's place.
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "common/host.hpp"
#include "tarvel/command_line.hpp"
#include "tarvel/driver.hpp"

int main(int argc, char** argv) {
    try {
        if (argc <= 1) return tarvel::run_tarvel();
        return tarvel::run_command_line(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::bad_alloc&) {
        tk::Host host;
        tk::error_box(host, tk::out_of_memory_text);
    } catch (const std::exception& error) {
        tk::Host host;
        tk::error_box(host, std::string("Internal error: ") + error.what());
    } catch (...) {
        tk::Host host;
        tk::error_box(host, "Internal error.");
    }
    return tk::exit_status_abort;
}
