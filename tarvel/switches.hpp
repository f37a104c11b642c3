// The output switches of a run, set from the print options.
#pragma once

namespace tarvel {

// MS, SS, VC and CR select the optional matrix and correlation sections of
// the listing; KIRV selects the export file "KIRV.IN_". Without a listing the
// host takes every result, so SS, MS, VC and CR are then all on.
struct OutputSwitches {
    bool ms = false;
    bool ss = false;
    bool vc = false;
    bool cr = false;
    bool kirv = false;
};

}  // namespace tarvel
