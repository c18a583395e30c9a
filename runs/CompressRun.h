// The compress action: runs compress_file on the two paths of the window, times
// the call and shows the four statistics.
#pragma once

class Clock;
class Module1;
class WindowState;

// Does nothing when both fields are blank (empty or only spaces). Otherwise
// fills a blank target with "compress.dat", shows the busy pointer, times the
// library call and sets each statistics row as soon as it is known. On a
// failure the rows this run did not reach are emptied and RunError is thrown.
// The source's size is read first, so a source that is not there is named
// as such; then a call that leaves no regular file at the target, leaves the
// target exactly as it was before, or leaves it empty for a source that is
// not, is such a failure: no size would be its result.
void CompressBtn_Click(WindowState &form, Module1 &library, Clock &clock);
