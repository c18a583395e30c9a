#include "ReportFailures.h"

#include "RunError.h"
#include "WindowState.h"

#include <new>

void reportFailures(WindowState &form, const std::function<void()> &handler)
{
    QString description;
    try {
        handler();
        return;
    } catch (const RunError &error) {
        description = error.description();
    } catch (const std::bad_alloc &) {
        description = QStringLiteral("Out of memory.");
    } catch (const std::exception &error) {
        description = QString::fromLocal8Bit(error.what());
    }
    form.setPointer(MousePointer::Default);
    form.showError(description);
}
