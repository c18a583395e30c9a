// The decompress action: hands the two fields to decompress_file, as they are.
#pragma once

class Module1;
class WindowState;

// Checks nothing, measures nothing and shows nothing but a failure: the
// library's output is its only effect. Throws RunError when the library cannot
// be called, when it left no regular file at the target, or when it left an
// existing target exactly as it was.
void DecompressBtn_Click(WindowState &form, Module1 &library);
