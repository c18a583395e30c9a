// brevimeter-bench from its arguments to its exit status: list the
// references, join shards, or sweep; then the report and the chart.
#pragma once

#include <QStringList>

// 0 when every row is ok, 1 when one is not, 2 for a wrong argument, 3 when
// the report or the chart cannot be written. A signal that stopped the sweep
// ends the program, by that signal, once the rows so far are written.
int runBench(const QStringList &arguments);
