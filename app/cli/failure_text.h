#pragma once

// What vanthe-cli says when a job failed, worded from the step that failed and its code.

#include "app/cli/password_bytes.h"
#include "engine/job_events.h"

#include <string>

namespace vanthe::cli {

// One line without the program's name. `source` and `destination` are printable already.
std::string DescribeFailure(const JobFailure& failure, const std::string& source,
                            const std::string& destination, const PasswordBytes& password);

// The folder part of a path, "." when it has none.
std::string FolderOf(const std::string& path);

} // namespace vanthe::cli
