#include "DecompressRun.h"

#include "FileStamp.h"
#include "Module1.h"
#include "WindowState.h"

void DecompressBtn_Click(WindowState &form, Module1 &library)
{
    form.SourcePath = form.text(PathField::SourceFile);
    form.DestPath = form.text(PathField::DestFile);
    const QString target = form.DestPath;
    const std::optional<FileStamp> before = stampOf(target);
    library.decompress_file(form.SourcePath, form.DestPath);
    requireWritten(target, before, form.DestPath);
}
