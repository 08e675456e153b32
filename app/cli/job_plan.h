#pragma once

// What a call of vanthe-cli will do: one job per SOURCE with its destination, judged before
// the password is asked, so that a call that cannot work costs the user nothing.

#include "app/cli/cli_options.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vanthe::cli {

struct PlannedJob {
    std::string source;
    std::string destination;
    bool fromStandardInput = false;
    bool fromNamedStream = false; // a FIFO or device, read as standard input is
    bool toStandardOutput = false;
    std::uint64_t sizeHint = 0; // what the system reports; a stream reports nothing
};

struct JobPlan {
    std::vector<PlannedJob> jobs;
    // One line for each SOURCE refused on its own (it cannot be opened, its destination
    // exists, ...); the other SOURCEs still run.
    std::vector<std::string> refusals;
    bool sizesKnown = true;
};

// False with a reason when the call as a whole is wrong; nothing may start then.
bool PlanJobs(const Options& options, JobPlan& plan, std::string& reason);

// True when another program (a file server, for one of its clients) holds a lease on the regular
// file `source`: opening it then waits until that program lets go, at most the system's
// lease-break time.
bool HeldByAnotherProgram(const std::string& source);

} // namespace vanthe::cli
