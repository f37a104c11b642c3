// tarvel: Type I analysis of variance and covariance. Started by the host
// without arguments; everything comes from the control file.
#include <exception>
#include <new>
#include <string>

#include "common/host.hpp"
#include "tarvel/driver.hpp"

int main() {
    try {
        return tarvel::run_tarvel();
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
