#pragma once

#include <cstdio>

class TiXmlDocument;

// Path-addressed access to a TinyXML document. A path is a dotted list of
// element names ("Message.Header.MSG_DEV_INFO_REPLY"), at most 9 components
// of at most 63 characters each; every component takes the first child
// element of that name. Diagnostics are printed to the XML output stream
// (standard output unless changed with xml_set_output), not to the trace.

constexpr int XML_COMPONENT_SIZE = 64;
constexpr int XML_MAX_LEVELS = 9;
// Longest text handed to the parser: parse time grows with the square of the
// nesting depth, so it stays within what one datagram can carry.
constexpr int XML_MAX_PARSE = 2047;

constexpr int XML_MODE_TEXT = 0;
constexpr int XML_MODE_ATTRIBUTE = 1;

// Where the diagnostics go; null silences them. Standard output by default.
void xml_set_output(std::FILE* stream);

// A new document: only the declaration (version "1.0") when text is null,
// else the parsed text (parse errors are not reported; at most XML_MAX_PARSE
// bytes are parsed). The document is then printed to the output stream.
TiXmlDocument* xml_create(const char* text);

// Frees a document: -1 for null, else 0.
int xml_destroy(TiXmlDocument* document);

// Copies the first component of path (cut to 63 characters) into component
// and returns what follows the first dot, or null when there is no dot.
const char* xml_split_path(char component[XML_COMPONENT_SIZE], const char* path);

// Reads an attribute (mode XML_MODE_ATTRIBUTE) or the element's text into
// result (at most size-1 characters, NUL-terminated). 0 or -1.
int xml_file_read(TiXmlDocument* document, char* result, int size, const char* path, int mode,
                  const char* attribute);

// Writes an attribute or the element's text, creating the elements of the
// path that are missing. value is NUL-terminated; length is not used. 0 or -1.
int xml_file_write_new(TiXmlDocument* document, const char* value, int length, const char* path, int mode,
                       const char* attribute);

// Prints the document with a four-space indent into buffer. -1 when the text
// and its NUL do not fit (the buffer is then left as it was), else 0.
int xml_export_buffer(TiXmlDocument* document, char* buffer, int size);
