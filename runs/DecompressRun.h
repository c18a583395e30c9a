// The decompress action: hands the two fields to decompress_file, as they are.
#pragma once

class Module1;
class WindowState;

// Checks nothing, measures nothing and shows nothing: the library's output is
// its only effect. Throws RunError when the library cannot be called.
void DecompressBtn_Click(WindowState &form, Module1 &library);
