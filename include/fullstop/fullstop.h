/* fullstop: sentence-boundary detection as a library.
 *
 * A model is loaded once and never changes afterwards: any number of threads
 * may split text with one model at the same time, and a process may hold any
 * number of models.  Every call that can fail returns NULL or -1 and, when
 * `error` is not NULL, sets *error to a message allocated with malloc (the
 * caller frees it with free()); on success *error is set to NULL.  No call
 * prints anything or ends the process.
 *
 * Offsets are byte offsets into the text given.  Usable from C, C++, and
 * through any foreign-function interface that can call C (Python ctypes, Rust,
 * Go): plain types only, no callbacks required.
 */
#ifndef FULLSTOP_FULLSTOP_H
#define FULLSTOP_FULLSTOP_H

#include <stddef.h>
#include <stdint.h>

#if defined(FULLSTOP_BUILDING_LIBRARY) && defined(__GNUC__)
#define FULLSTOP_API __attribute__((visibility("default")))
#else
#define FULLSTOP_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct fullstop_model fullstop_model;

/* A sentence: text[start, end). */
typedef struct fullstop_span {
  int64_t start, end;
} fullstop_span;

/* What `fullstop -m MODEL -t` counts on sentence-per-line text. */
typedef struct fullstop_eval {
  int64_t sites, true_positives, false_positives, true_negatives, false_negatives;
} fullstop_eval;

/* The text modes a model declares (its "#text-mode=NAME" record). */
enum { FULLSTOP_TEXT_CLASSIC = 0, FULLSTOP_TEXT_UNICODE = 1 };

/* The library's version, "MAJOR.MINOR.PATCH": the programs' --version. */
FULLSTOP_API const char *fullstop_version(void);

/* Loads a model file.  NULL on failure (a file that cannot be read, a record
 * declaring an unknown text mode, no memory).  A record that does not scan
 * ends loading early without failing: fullstop_model_warning says so, as the
 * program warns. */
FULLSTOP_API fullstop_model *fullstop_model_load(const char *path, char **error);
/* The same from the bytes of a model file (`bytes` may be NULL when len is 0). */
FULLSTOP_API fullstop_model *fullstop_model_parse(const char *bytes, size_t len, char **error);
/* NULL, or why loading stopped early ("NAME:LINE: REASON; loading stopped, N
 * features loaded"); valid until the model is freed. */
FULLSTOP_API const char *fullstop_model_warning(const fullstop_model *model);
/* The text mode the model declares: FULLSTOP_TEXT_CLASSIC or FULLSTOP_TEXT_UNICODE. */
FULLSTOP_API int fullstop_model_text_mode(const fullstop_model *model);
/* The number of records loaded. */
FULLSTOP_API size_t fullstop_model_records(const fullstop_model *model);
/* Frees a model (NULL is fine).  No call may be using it. */
FULLSTOP_API void fullstop_model_free(fullstop_model *model);

/* Finding a model by name ("en", "de"), as `fullstop --model NAME` does.  A
 * name holding a slash or ending in ".model" is a path, used as it is.  Any
 * other NAME stands for the file NAME.model in the first folder that holds
 * one, of, in order:
 *   - the folders of the environment variable FULLSTOP_MODEL_PATH
 *     (colon-separated);
 *   - `folders`: NULL, or colon-separated folders of the caller's own (a
 *     program's or a binding's bundled models);
 *   - the folder the bundled models are installed to, fixed when the library
 *     was built (PREFIX/share/fullstop).
 * Returns the file's path as a malloc'd string (free()), or NULL when no
 * folder holds the model, with a message naming the folders searched. */
FULLSTOP_API char *fullstop_model_find(const char *name, const char *folders, char **error);
/* The folders fullstop_model_find searches with these `folders`, in order and
 * each once, as a malloc'd colon-separated string (free()); "" when there
 * are none.  NULL only on failure (no memory). */
FULLSTOP_API char *fullstop_model_search_path(const char *folders, char **error);
/* fullstop_model_find(name, NULL) and fullstop_model_load of the file found:
 *   fullstop_model *en = fullstop_model_load_named("en", &error); */
FULLSTOP_API fullstop_model *fullstop_model_load_named(const char *name, char **error);

/* Sentences of text[0, len): returns their number and sets *spans to a malloc'd
 * array that the caller frees with free(); -1 on failure with *error set to a
 * malloc'd message (free()).  The spans are exactly the start/end pairs that
 * `fullstop -m MODEL` prints for the same bytes, in the model's text mode.
 * Empty input gives one span {0, 0} in the classic text mode; in the Unicode
 * mode, empty or blank input (whitespace, zero-width characters and a byte
 * order mark only; no NUL) gives none (0), as the program prints.  `text` may
 * be NULL when len is 0.  Safe to call concurrently on one model: a text of
 * up to 256 KiB goes through a splitter the model keeps (see
 * fullstop_splitter_new; a few are kept, one per call at a time), so a call
 * per sentence or paragraph costs about what its bytes cost.  The text is
 * read where it is (a copy is made only of text the Unicode mode maps: bytes
 * of 0x80 and above, CR, VT, FF), never past text[len - 1].
 * Text of any length: past 2147483583 bytes (2 GiB - 65), where one run's
 * 32-bit offsets end, the text is read in windows of whole lines, as the
 * program reads a stream, with the same spans; only a single line longer
 * than that fails ("input larger than 2147483583 bytes in one piece").  The
 * same holds for fullstop_split_jobs with any `jobs` and for fullstop_render. */
FULLSTOP_API int64_t fullstop_split(const fullstop_model *model, const char *text, size_t len,
                                    fullstop_span **spans, char **error);

/* fullstop_split on `jobs` threads (0: all online CPUs; negative: an error):
 * the text is cut into blocks at safe points and the blocks are decided at
 * the same time, giving exactly the spans of fullstop_split.  Text of up to
 * a block (256 KiB), jobs 1, and a model that names a feature twice (whose
 * decisions depend on all the text before them) run on the calling thread.
 * Safe to call concurrently on one model. */
FULLSTOP_API int64_t fullstop_split_jobs(const fullstop_model *model, const char *text, size_t len,
                                         int jobs, fullstop_span **spans, char **error);

/* Splitting many texts one after another, each on its own: a splitter keeps
 * what a call learns (the words met, their scores, room for tokens and
 * spans) for the next one, so that a short text costs about what its bytes
 * cost rather than a fresh start each time.  Every call gives exactly the
 * spans fullstop_split gives for the same bytes, whatever came before.  One
 * splitter is used by one thread at a time (give each thread its own); the
 * model must outlive it, and stays shared and unchanged.
 *
 *   fullstop_splitter *s = fullstop_splitter_new(model, &error);
 *   for (each text) n = fullstop_splitter_split(s, text, len, &spans, &error);
 *   fullstop_splitter_free(s);
 */
typedef struct fullstop_splitter fullstop_splitter;
FULLSTOP_API fullstop_splitter *fullstop_splitter_new(const fullstop_model *model, char **error);
/* As fullstop_split(model, text, len, spans, error) with the splitter's model. */
FULLSTOP_API int64_t fullstop_splitter_split(fullstop_splitter *splitter, const char *text, size_t len,
                                             fullstop_span **spans, char **error);
/* Frees a splitter (NULL is fine). */
FULLSTOP_API void fullstop_splitter_free(fullstop_splitter *splitter);

/* The output forms of the program, for fullstop_render: FULLSTOP_FORMAT_XML
 * (`fullstop -m MODEL`), FULLSTOP_FORMAT_XML_WITH_TEXT (-f), and those of
 * --format=text, lines (-F), jsonl and tsv. */
enum {
  FULLSTOP_FORMAT_XML = 0,
  FULLSTOP_FORMAT_XML_WITH_TEXT = 1,
  FULLSTOP_FORMAT_TEXT = 2,
  FULLSTOP_FORMAT_LINES = 3,
  FULLSTOP_FORMAT_JSONL = 4,
  FULLSTOP_FORMAT_TSV = 5
};

/* The sentences of text[0, len) printed in one of the output forms, byte for
 * byte what `fullstop -m MODEL` with that form prints for the same bytes, on
 * `jobs` threads as fullstop_split_jobs (0: all online CPUs).  Sets *output
 * to a malloc'd NUL-terminated string (free()) and *output_len, when not
 * NULL, to its length; returns 0, or -1 on failure. */
FULLSTOP_API int fullstop_render(const fullstop_model *model, const char *text, size_t len, int format,
                                 int jobs, char **output, size_t *output_len, char **error);

/* Splitting text that arrives in pieces (a pipe, a socket, a file of any
 * size): the spans are those fullstop_split gives for all of the bytes fed,
 * with offsets from the stream's start, however the text is cut into pieces.
 * A stream holds only the text not decided yet (the open sentence and a few
 * tokens), never all of it.  One stream is used by one thread at a time; the
 * model must outlive it. */
typedef struct fullstop_stream fullstop_stream;
FULLSTOP_API fullstop_stream *fullstop_stream_new(const fullstop_model *model, char **error);
/* Takes bytes[0, len) (`bytes` may be NULL when len is 0) and returns the
 * number of sentences decided since the last call, with *spans set as by
 * fullstop_split (free() it); -1 on failure.  A sentence is decided once the
 * text after it settles it; some are returned by a later call. */
FULLSTOP_API int64_t fullstop_stream_feed(fullstop_stream *stream, const char *bytes, size_t len,
                                          fullstop_span **spans, char **error);
/* Decides all that the bytes fed so far allow, and returns those sentences as
 * fullstop_stream_feed does.  feed() decides once enough new text has come
 * (so that text is read again a bounded number of times); a caller about to
 * wait for more text (the program before a read that would block, a reader
 * of lines) pumps, and gets every sentence that the complete lines so far
 * settle. */
FULLSTOP_API int64_t fullstop_stream_pump(fullstop_stream *stream, fullstop_span **spans, char **error);
/* The text ended: returns the remaining sentences (in the classic mode at
 * least one after a stream that returned none; none for a blank text in the
 * Unicode mode, as fullstop_split).  Feeding
 * or finishing a finished stream fails. */
FULLSTOP_API int64_t fullstop_stream_finish(fullstop_stream *stream, fullstop_span **spans,
                                            char **error);
/* Frees a stream (NULL is fine). */
FULLSTOP_API void fullstop_stream_free(fullstop_stream *stream);

/* Scores the model on sentence-per-line text, as `fullstop -m MODEL -t`:
 * fills *counts and returns 0, or -1 on failure. */
FULLSTOP_API int fullstop_evaluate(const fullstop_model *model, const char *text, size_t len,
                                   fullstop_eval *counts, char **error);

/* Training material of sentence-per-line text, as `fullstop` without a model
 * prints it: *contexts receives the training contexts and *features the
 * feature list (the contents of features.def), each a malloc'd NUL-terminated
 * string (free()) whose length goes to *contexts_len and *features_len (either
 * length pointer may be NULL).  `text_mode` is FULLSTOP_TEXT_CLASSIC or
 * FULLSTOP_TEXT_UNICODE.  Returns 0, or -1 on failure. */
FULLSTOP_API int fullstop_training_contexts(const char *text, size_t len, int text_mode,
                                            char **contexts, size_t *contexts_len,
                                            char **features, size_t *features_len, char **error);

#ifdef __cplusplus
}
#endif

#endif /* FULLSTOP_FULLSTOP_H */
