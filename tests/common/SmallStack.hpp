// Runs work on a thread with a small stack, as a plug-in's worker thread may have.
#pragma once

#include <cstddef>
#include <functional>

namespace testing_support {

// Runs `work` on a new thread whose stack is `bytes` long and waits for it; an exception that leaves
// `work` fails the test.
void onSmallStack(std::size_t bytes, const std::function<void()>& work);

} // namespace testing_support
