// A JSON report read back, as brevimeter-bench wrote it, every figure checked.
#include "Columns.h"
#include "FileName.h"
#include "Json.h"
#include "Report.h"
#include "Samples.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace {

// Thrown with why a report is refused.
struct Refusal {
    QString why;
};

[[noreturn]] void refuse(const QString &why)
{
    throw Refusal{why};
}

// Doubles hold whole numbers exactly up to here.
constexpr double LargestWhole = 9007199254740992.0;

QJsonValue member(const QJsonObject &object, const char *key, QJsonValue::Type type, const QString &where, bool nullable = false)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.type() != type && !(nullable && value.isNull()))
        refuse(QStringLiteral("%1: \"%2\" is missing or not what a report holds there").arg(where, QLatin1String(key)));
    return value;
}

double figure(const QJsonValue &value, const QString &where, const char *what, bool whole)
{
    const double number = value.toDouble();
    // (JSON holds no infinity: the parser refuses one.)
    if (!value.isDouble() || number < 0 || (whole && (number != std::floor(number) || number > LargestWhole)))
        refuse(QStringLiteral("%1: %2 is %3, not a %4").arg(where, QLatin1String(what), QString::fromUtf8(jsonOf(value)),
                                                             whole ? QStringLiteral("whole number of 0 or more")
                                                                   : QStringLiteral("finite number of 0 or more")));
    return number;
}

unsigned long long whole(const QJsonValue &value, const QString &where, const char *what)
{
    return static_cast<unsigned long long>(figure(value, where, what, true));
}

DirectionSamples samplesFrom(const QJsonObject &object, const QString &where)
{
    DirectionSamples samples;
    for (const SampleSeries &series : sampleSeries())
        for (const QJsonValue value : member(object, series.name, QJsonValue::Array, where).toArray())
            (samples.*series.member).push_back(figure(value, where, series.name, series.whole));
    for (const SampleFigure &sample : sampleFigures()) {
        const QJsonValue value = member(object, sample.name, QJsonValue::Double, where, true);
        if (!value.isNull())
            samples.*sample.member = figure(value, where, sample.name, false);
    }
    samples.oneThread = member(object, OneThread, QJsonValue::Bool, where).toBool();
    return samples;
}

QString rowName(const QJsonObject &row, qsizetype index)
{
    return QStringLiteral("row %1 (%2 on %3)")
        .arg(index + 1)
        .arg(shownName(row.value(QLatin1String("label")).toString().toUtf8()),
             shownName(bytesOfText(row.value(QLatin1String("file")).toString())));
}

Measurement measurementFrom(const QJsonObject &row, const QString &where)
{
    Measurement measured;
    measured.label = member(row, "label", QJsonValue::String, where).toString();
    measured.library = member(row, "library", QJsonValue::String, where).toString();
    measured.file = bytesOfText(member(row, "file", QJsonValue::String, where).toString());
    measured.size = whole(member(row, "size", QJsonValue::Double, where), where, "size");
    const QJsonValue compressed = member(row, "compressed", QJsonValue::Double, where, true);
    if (!compressed.isNull())
        measured.compressed = whole(compressed, where, "compressed");
    const std::optional<RowStatus> status = statusNamed(member(row, "status", QJsonValue::String, where).toString());
    if (!status)
        refuse(QStringLiteral("%1: no such status as %2").arg(where, QString::fromUtf8(jsonOf(row.value(QLatin1String("status"))))));
    measured.status = *status;
    measured.reason = member(row, "reason", QJsonValue::String, where).toString();
    measured.codecs = member(row, "codecs", QJsonValue::String, where).toString();
    measured.librarySha256 = member(row, "library_sha256", QJsonValue::String, where).toString().toLatin1();
    measured.threads = int(std::min(whole(member(row, "threads", QJsonValue::Double, where), where, "threads"), 1024ull));
    const QJsonObject samples = member(row, "samples", QJsonValue::Object, where).toObject();
    measured.compress = samplesFrom(member(samples, "compress", QJsonValue::Object, where).toObject(), where);
    measured.decompress = samplesFrom(member(samples, "decompress", QJsonValue::Object, where).toObject(), where);
    // A pair that went through made at least one timed call each way, wrote
    // an output and was measured throughout.
    if (measured.status == RowStatus::Ok)
        for (const DirectionSamples *direction : {&measured.compress, &measured.decompress})
            if (!measured.compressed || direction->seconds.empty() || !direction->peakMiB || !direction->processPeakMiB)
                refuse(QStringLiteral("%1: it is ok, but without the timed calls, output and peaks of a pair that went through").arg(where));
    return measured;
}

// Each column as written must be what the line's own figures give.
void requireAgreement(const QJsonObject &row, const ReportLine &line, const QString &where)
{
    for (const Column &column : columns()) {
        const QByteArray written = jsonOf(row.value(QLatin1String(column.name))), expected = jsonOfCell(column.value(line));
        if (written != expected)
            refuse(QStringLiteral("%1: %2 is %3, but its samples give %4")
                       .arg(where, QLatin1String(column.name), QString::fromUtf8(written), QString::fromUtf8(expected)));
    }
}

Provenance provenanceFrom(const QJsonObject &report)
{
    const QString where = QStringLiteral("the report");
    Provenance made{member(report, "machine", QJsonValue::String, where).toString(),
                    member(report, "date", QJsonValue::String, where).toString(),
                    member(report, "version", QJsonValue::String, where).toString()};
    const QJsonObject options = member(report, "options", QJsonValue::Object, where).toObject();
    for (auto it = options.begin(); it != options.end(); ++it)
        made.options.emplace_back(it.key(), it.value());
    qsizetype index = 0;
    for (const QJsonValue file : member(report, "files", QJsonValue::Array, where).toArray()) {
        const QString at = QStringLiteral("file %1 of the report").arg(++index);
        const QJsonObject facts = file.toObject();
        made.files.push_back({bytesOfText(member(facts, "name", QJsonValue::String, at).toString()),
                              whole(member(facts, "size", QJsonValue::Double, at), at, "size"),
                              member(facts, "sha256", QJsonValue::String, at).toString().toLatin1()});
    }
    made.complete = member(report, "complete", QJsonValue::Bool, where).toBool();
    return made;
}

} // namespace

std::variant<Report, QString> readReport(const QByteArray &json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        return QStringLiteral("not JSON (%1 at byte %2)").arg(error.errorString()).arg(error.offset);
    const QJsonObject object = document.object();
    if (!object.value(QLatin1String("rows")).isArray() || !object.value(QLatin1String("options")).isObject())
        return QStringLiteral("not a JSON report of brevimeter-bench");
    try {
        Report report{{}, provenanceFrom(object)};
        std::vector<std::pair<QJsonObject, QString>> totals;
        qsizetype index = 0;
        for (const QJsonValue value : object.value(QLatin1String("rows")).toArray()) {
            const QJsonObject row = value.toObject();
            const QString where = rowName(row, index++);
            if (member(row, "total", QJsonValue::Bool, where).toBool()) {
                totals.emplace_back(row, where);
                continue;
            }
            report.measurements.push_back(measurementFrom(row, where));
            requireAgreement(row, lineOf(report.measurements.back()), where);
        }
        const std::vector<ReportLine> lines = linesOf(report.measurements);
        const std::size_t expected = lines.size() - report.measurements.size();
        if (totals.size() != expected)
            refuse(QStringLiteral("the report has %1 total rows where its rows give %2").arg(totals.size()).arg(expected));
        for (std::size_t i = 0; i < totals.size(); ++i)
            requireAgreement(totals[i].first, lines[report.measurements.size() + i], totals[i].second);
        return report;
    } catch (const Refusal &refusal) {
        return refusal.why;
    }
}
