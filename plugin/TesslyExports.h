/* The names the TesslyEval plug-in exports, as C: the host's two entry
   points, and the expression entry that the tessly command uses to try an
   expression outside any field. The plug-in and the programs that load it
   share this header and nothing else of each other. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define TESSLY_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
extern "C" {
#endif

/* Application messages from the host; answers 0. */
typedef int (*TesslyEntryPointFn)(int message, void* packet);
/* The host API version the module is built for: 0x130000. */
typedef int (*TesslyApiVersionFn)(void);

/* The result of one expression: the text as the evaluation gives it
   (markers included), whether it succeeded, and the value an expression
   field would hold (type 1 integer, 2 real, 4 text). */
typedef struct TesslyExprResult {
    int ok;
    const char16_t* text;
    size_t textLength;
    int type;
    int32_t integerValue;
    double realValue;
} TesslyExprResult;

typedef void (*TesslyExprSink)(const TesslyExprResult* result, void* context);
/* Evaluates an expression with tableId (an object id, 0 for none) as the
   table of bare cell references; the result goes to sink before it returns. */
typedef void (*TesslyEvaluateExpressionFn)(const char16_t* expression, int64_t tableId, TesslyExprSink sink,
                                           void* context);

/* The module's version and build: "1.0.0, built Dec  8 2026 07:43:20". */
typedef const char* (*TesslyModuleVersionFn)(void);

/* One finding of a field check: a sentence, not terminated. */
typedef void (*TesslyCheckSink)(const char16_t* finding, size_t length, void* context);
/* Checks the field with this object id by its evaluator's rules; every
   finding goes to sink before it returns. Nothing but an expression is
   evaluated; nested fields should have been evaluated. */
typedef void (*TesslyCheckFieldFn)(int64_t fieldId, TesslyCheckSink sink, void* context);

#ifdef __cplusplus
}
#endif
