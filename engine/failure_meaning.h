#pragma once

// What a failed job's step and code mean, in words. The dialog adds them under its short
// message, whose number alone tells a user nothing; vanthe-cli words its lines with them.

#include "engine/job_events.h"

#include <cstdint>
#include <string>

namespace vanthe {

// The system's words for an errno value.
std::string SystemMeaning(std::uint32_t number);
// The crypto service's words for one of its failure codes.
std::string ServiceMeaning(std::uint32_t code);
// One sentence, naming no file, on what went wrong; empty where the job did not fail or was
// answered by the user (a result that looked wrong and was not written).
std::string FailureMeaning(const JobFailure& failure);

} // namespace vanthe
