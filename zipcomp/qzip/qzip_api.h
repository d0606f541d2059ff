/* qzip.dll: the zip component behind a small C API, for programs that load it
   rather than link it. Strings are UTF-16 (wchar_t); every function is __stdcall
   and exported under its plain name. */
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef QZIP_BUILDING
#define QZIP_API __declspec(dllexport)
#else
#define QZIP_API __declspec(dllimport)
#endif

/* The progress of one Zip call; the fields of the component's GlobalStatus event. */
typedef struct QzipStatus {
  int32_t filesTotal;
  int32_t filesProcessed;
  int32_t filesSkipped;
  int16_t filesPercent;
  int64_t bytesTotal;
  int64_t bytesProcessed;
  int64_t bytesSkipped;
  int16_t bytesPercent;
  int64_t bytesOutput;
  int16_t compressionRatio;
} QzipStatus;

typedef void(__stdcall* QzipStatusProc)(const QzipStatus* status, void* context);

/* What to pack. `size` is sizeof(QzipJob) of the caller's header; NULL strings take the
   defaults. A caller of the first version (QZIP_JOB_V1_SIZE, without the self-extractor's
   fields) packs plain Zip files. */
typedef struct QzipJob {
  uint32_t size;
  const wchar_t* basePath;
  const wchar_t* filesToProcess;     /* default "*.*" */
  const wchar_t* zipFilename;
  const wchar_t* encryptionPassword; /* NULL or "" for none */
  int32_t compressionLevel;          /* 0 to 9 */
  int32_t preservePaths;             /* non-zero for true */
  int32_t deleteZippedFiles;
  int32_t processSubfolders;
  /* Since the second version. The self-extractor: a NULL or empty module packs a plain
     Zip file; with one, the other four are the package's settings. */
  const wchar_t* sfxBinaryModule;
  const wchar_t* sfxIconFilename;    /* NULL or "": the stub keeps its own */
  const wchar_t* sfxDefaultPassword;
  const wchar_t* sfxExecuteAfter;
  const wchar_t* sfxDefaultUnzipToFolder;
  /* Out, when given: the file an entry name the stub would refuse is about (results
     SfxNameRefused and SfxNameClash), NUL-terminated and cut to fit; "" otherwise. */
  wchar_t* errorPath;
  int32_t errorPathChars;
} QzipJob;

#define QZIP_JOB_V1_SIZE ((uint32_t)offsetof(QzipJob, sfxBinaryModule))

/* Packs the files; 0 on success, else a result code that QzipGetErrorDescription
   explains. The status procedure, if any, is called on the calling thread. */
QZIP_API int32_t __stdcall QzipZip(const QzipJob* job, QzipStatusProc status, void* context);

/* Writes the description of a result code (xType 0) into the buffer, NUL-terminated
   and cut to fit; returns the length of the whole description in characters. */
QZIP_API int32_t __stdcall QzipGetErrorDescription(int16_t xType, int32_t value, wchar_t* buffer,
                                                    int32_t bufferChars);

/* Where DllRegisterServer records the DLL: under HKEY_CURRENT_USER, so that no
   administrator rights are needed. */
#define QZIP_REGISTRY_KEY L"Software\\Qelvaro\\Components\\qzip"
#define QZIP_REGISTRY_VALUE L"Path"

#ifdef __cplusplus
}
#endif
