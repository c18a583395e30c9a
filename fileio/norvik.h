/*
 * norvik: the two entry points of every Brevimeter library, the default one
 * (zstd) and the reference libraries, each a libnorvik.so of its own folder.
 *
 * Two entry points, each taking two writable NUL-terminated 8-bit path buffers,
 * source first. The buffers are read and never written. Each library writes
 * its codec's standard file format, as the codec's command writes it, and
 * reads what the command writes: the default library standard zstd frames with
 * the content size and a checksum.
 *
 * The output is written to a new, unnamed file in the target's folder and takes
 * the target's name only once it is complete; on failure no target and no
 * temporary file is left, and a target that existed is untouched. A new target
 * is never put over a file that appeared at its name meanwhile. Where the file
 * system has no unnamed files (NFS, FUSE), a hidden ".norvik-XXXXXXXX.part" in
 * the target's folder stands in and is removed on failure; a process killed
 * while it exists leaves it behind, as does one killed in the instant between
 * linking a replacement to such a name and renaming it over the target.
 *
 * Replacing an existing target takes write access to its folder as well as to
 * the file (the file is replaced, not written in place), and the name the
 * caller gave must allow writing: the kernel judges, as it does for any
 * program that opens the file (permissions, read-only files, protected
 * symlinks). The new file has exactly the old one's owner, group, mode,
 * extended attributes and ACL, nothing its folder would give a new file, and
 * no file capabilities; its data reaches the disk before its name does, and
 * the folder is flushed after. Other hard links to the old file keep the old
 * content. A new target is not flushed.
 *
 * Both functions are safe to call from several threads at once and print
 * nothing. They keep the codec's state (contexts, tables, windows), buffers and
 * a writer thread for the next call: at most 32 MiB of codec state in all,
 * which a forked child lets go.
 */
#ifndef NORVIK_H
#define NORVIK_H

#if defined(_WIN32)
#  if defined(NORVIK_BUILDING)
#    define NORVIK_API __declspec(dllexport)
#  else
#    define NORVIK_API __declspec(dllimport)
#  endif
#else
#  define NORVIK_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Results of both entry points. */
enum norvik_result {
    NORVIK_OK = 0,
    NORVIK_BAD_ARGUMENT = 1,  /* a null or empty path */
    NORVIK_SOURCE_ERROR = 2,  /* the source cannot be opened or read, or is not a regular file */
    NORVIK_TARGET_ERROR = 3,  /* the target cannot be created, written or renamed into place, is not
                                 a regular file, or is a symlink that names no file */
    NORVIK_SAME_FILE = 4,     /* source and target are the same file */
    NORVIK_CODEC_ERROR = 5,   /* the codec refused: corrupt, truncated or other input, or no memory */
    NORVIK_SOURCE_CHANGED = 6, /* the source changed size while it was read */
    NORVIK_TARGET_DENIED = 7, /* the caller may not write the target through this name */
    NORVIK_TARGET_OWNER = 8,  /* the target belongs to a user or group the caller cannot give a new
                                 file, so it is left to its owner */
    NORVIK_FOLDER_NOT_FLUSHED = 9 /* the target was replaced and holds the new file, but its folder
                                     could not be flushed: after a power cut its name may hold the
                                     old file again */
};

/* Compresses the file at `source` into the codec's format at `target`, at the
 * level in BREVIMETER_LEVEL and with at most the threads in BREVIMETER_THREADS
 * (1: all on the calling thread; unset or 0: the codec's own default). The
 * default library reads ZSTD_CLEVEL and ZSTD_NBTHREADS, as the zstd command
 * does, where those are not set (level 3, all cores). Returns NORVIK_OK, or one
 * of the other norvik_result values on failure, in which case nothing exists at
 * `target` that was not there before (NORVIK_FOLDER_NOT_FLUSHED aside, see
 * above). */
NORVIK_API int compress_file(char *source, char *target);

/* Decompresses the file at `source` (any number of frames or streams where the
 * format allows several, skippable zstd frames too, every check verified) into
 * `target`. Returns NORVIK_OK, or one
 * of the other norvik_result values on failure, in which case nothing exists
 * at `target` that was not there before (NORVIK_FOLDER_NOT_FLUSHED aside). */
NORVIK_API int decompress_file(char *source, char *target);

#ifdef __cplusplus
}
#endif

#endif /* NORVIK_H */
