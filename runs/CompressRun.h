// The compress action: runs compress_file on the two paths of the window, times
// the call and shows the four statistics.
#pragma once

class Clock;
class Module1;
class WindowState;

// Does nothing when both fields are blank (empty or only spaces). Otherwise
// fills a blank target with "compress.dat", shows the busy pointer, times the
// library call and sets each statistics row as soon as it is known. On a
// failure the rows this run did not reach are emptied and RunError is thrown;
// a call that leaves no regular file at the target, or leaves the target
// exactly as it was before, is such a failure: no size would be its result.
void CompressBtn_Click(WindowState &form, Module1 &library, Clock &clock);
