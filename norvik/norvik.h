/*
 * norvik: the default compression library of Brevimeter.
 *
 * Two entry points, each taking two writable NUL-terminated 8-bit path buffers,
 * source first. The buffers are read and never written. Files are standard zstd
 * frames with the content size and a checksum, so the zstd command reads what
 * compress_file writes and decompress_file reads what the zstd command writes.
 *
 * Neither entry point ever damages a file. The output is written to a new,
 * unnamed file in the target's folder and takes the target's name only once it
 * is complete; on failure, or when the process dies, no target and no
 * temporary file is left, and a target that existed is untouched. A replaced
 * target keeps its owner, group, mode, extended attributes and ACL, and its
 * new data reaches the disk before the name does. The target is written only
 * where the caller could write it through the name given: the kernel judges,
 * as it does for any program that opens the file (permissions, read-only
 * files, protected symlinks). Both functions are safe to call from several
 * threads at once and print nothing.
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
    NORVIK_CODEC_ERROR = 5,   /* zstd refused: corrupt, truncated or non-zstd input, or no memory */
    NORVIK_SOURCE_CHANGED = 6, /* the source changed size while it was read */
    NORVIK_TARGET_DENIED = 7, /* the caller may not write the target through this name */
    NORVIK_TARGET_OWNER = 8   /* the target belongs to a user or group the caller cannot give a new
                                 file, so it is left to its owner */
};

/* Compresses the file at `source` into a zstd file at `target` (level 3, all
 * cores). Returns NORVIK_OK, or one of the other norvik_result values on
 * failure, in which case nothing exists at `target` that was not there before. */
NORVIK_API int compress_file(char *source, char *target);

/* Decompresses the zstd file at `source` (any number of frames, skippable
 * frames allowed, checksums verified) into `target`. Returns NORVIK_OK, or one
 * of the other norvik_result values on failure, in which case nothing exists
 * at `target` that was not there before. */
NORVIK_API int decompress_file(char *source, char *target);

#ifdef __cplusplus
}
#endif

#endif /* NORVIK_H */
