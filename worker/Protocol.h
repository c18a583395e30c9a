// How brevimeter-bench and its worker talk: the worker reads commands on one
// descriptor and writes its report on another, a line each, so that nothing a
// library prints on standard output can be taken for either. Paths travel as
// hexadecimal bytes, exactly as the system names them.
//
// Commands, from the sweep:
//   begin                      a direction's calls start: what they hold is measured from here
//   call N INPUT_HEX OUTPUT_HEX
//                              call N of the worker's entry point
//   end                        the direction's calls are over
// Report lines, from the worker:
//   codecs NAME VERSION, ...   the codec libraries the library brought in, with their versions
//   loaded FILE_HEX            the library file the loader took, once it is loaded
//   failed REASON              the library cannot be loaded; the worker then ends
//   took N WALL_NS CPU_NS THREAD_CPU_NS CHILD_CPU_NS FAULTS CHILD_FAULTS
//                              after a call: its wall time; the CPU time of every
//                              thread of the worker, of the calling thread alone, and
//                              of the child processes the library waited for; page
//                              faults of the worker and of those children
//   peak KIB CHILD_KIB PROCESS_KIB
//                              after end: the most memory the calls held above what the
//                              worker held once the library was loaded; the largest
//                              child's peak (0 without children); the worker's own peak
//                              meanwhile
//   forked N                   from a process the library forked that returned from
//                              call N; it ends at once
//   left N                     before call N's took: the library left a process running
//                              after the call returned, which the worker then killed
#pragma once

namespace worker {

constexpr int CommandChannel = 3;
constexpr int ReportChannel = 4;

} // namespace worker
