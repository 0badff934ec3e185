#pragma once
// EAlreadyReported: an error the user has already been told about. It ends
// the operation as any error does, but the application's error box leaves it
// out: the same refusal met again by every later step of a start or an exit
// would otherwise be one box per step.
// Thread: any.

#include <stdexcept>

class EAlreadyReported : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
