#include "DecompressRun.h"

#include "FileStamp.h"
#include "Module1.h"
#include "WindowState.h"

void DecompressBtn_Click(WindowState &form, Module1 &library)
{
    form.SourcePath = form.text(PathField::SourceFile);
    form.DestPath = form.text(PathField::DestFile);
    const TargetWatch target(form.DestPath);
    library.decompress_file(form.SourcePath, form.DestPath);
    target.requireWritten(form.DestPath);
}
