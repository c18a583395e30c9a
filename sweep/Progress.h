// How far a sweep has come. On a terminal, one line of standard error, kept
// up to date: pairs done of all, the time so far and an estimate of what is
// left, and what is being measured. Elsewhere (a batch job's log), a line on
// standard error at most every 10 seconds. Nothing is ever added to the
// report's output.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <vector>

class Progress {
public:
    // Seconds since the start come from `clock` (the real one when empty);
    // away from a terminal a line comes at most every `every` of them.
    Progress(bool terminal = isTerminal(), double every = 10, std::function<double()> clock = {});
    ~Progress();
    static bool isTerminal();

    // The pairs to come: the library of each and its weight (see Deal.h).
    void plan(const std::vector<std::pair<std::size_t, unsigned long long>> &pairs);
    // What is being measured now.
    void show(const QString &doing);
    // One pair more is done.
    void done(std::size_t library, unsigned long long weight);

    // "12 of 96 pairs, 0:42 so far, about 3:10 left".
    QString summary() const;

private:
    void write(const QString &line);

    double now() const;

    bool shown_ = false, terminal_;
    double every_;
    std::function<double()> clock_;
    QElapsedTimer started_;
    double lastDone_ = 0, lastLine_ = 0; // when the last pair was done, and the last line written
    std::size_t pairs_ = 0, finished_ = 0;
    std::vector<unsigned long long> left_, weighed_; // each library's weight to come, and done
    std::vector<double> seconds_;                    // each library's time so far
    QString doing_;
};

// "0:42", "1:02:03".
QString duration(double seconds);
