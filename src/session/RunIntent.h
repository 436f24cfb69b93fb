#pragma once

#include "session/InstallSession.h"

namespace Session {

// What a face asks of the run: the user's answer in a window, the settings' in quiet mode.
struct Intent {
    enum class Kind {
        Install, // check and plan an installation of request
        Remove, // check and plan the removal of the recorded installation
        Layout, // check and plan the offline layout the settings ask for
        Apply, // the face confirmed the plan: start it
        Cancel, // the face declined the plan (a removal's No)
        OpenExisting, // start the installed product instead of installing
        Finish, // the finished page's button: start the product when the package asked for it
    };
    Kind kind = Kind::Install;
    InstallRequest request; // Install
};

class SessionRun;

// A face of the whole run: the window, quiet mode, a removal. Run shows the face and returns
// when the face is done (its window closed, its verdict told); the run goes on without it.
// While it runs, Shows() hears what the session tells.
class RunFace {
public:
    virtual ~RunFace() = default;
    virtual InstallFace& Shows() = 0;
    virtual void Run(SessionRun& run) = 0;
};

} // namespace Session
