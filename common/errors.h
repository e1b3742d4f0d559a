// Plain-words accounts of system failures, for the messages a user reads.
#pragma once

#include <string>

namespace tolvik {

// Describes an errno value as a user would want to read it ("the disk is full").
std::string DescribeError(int error);

}  // namespace tolvik
