#include "discovery/xml_path.h"

#include <tinyxml.h>

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <string>

namespace {

std::atomic<std::FILE*> g_output{stdout};

void xml_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void xml_printf(const char* format, ...) {
    std::FILE* out = g_output.load();
    if (out == nullptr) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(out, format, args);
    va_end(args);
}

void xml_print_document(TiXmlDocument* document) {
    std::FILE* out = g_output.load();
    if (out == nullptr) return;
    document->Print(out);
    std::fflush(out);
}

// Splits path into at most XML_MAX_LEVELS components; false (with the
// message of `who`) when it has more.
bool split_all(const char* who, const char* path, char components[XML_MAX_LEVELS][XML_COMPONENT_SIZE],
               int* count) {
    *count = 0;
    const char* rest = path;
    while (rest != nullptr) {
        if (*count == XML_MAX_LEVELS) {
            xml_printf("%s: node level too deep, path = %s\n", who, path);
            return false;
        }
        rest = xml_split_path(components[(*count)++], rest);
    }
    return true;
}

TiXmlElement* find_path(TiXmlDocument* document, char components[][XML_COMPONENT_SIZE], int count) {
    TiXmlNode* current = document;
    for (int i = 0; i < count && current != nullptr; ++i) current = current->FirstChildElement(components[i]);
    return current ? current->ToElement() : nullptr;
}

void copy_bounded(char* result, int size, const char* value) {
    std::memset(result, 0, static_cast<std::size_t>(size));
    std::strncpy(result, value, static_cast<std::size_t>(size) - 1);
}

}  // namespace

void xml_set_output(std::FILE* stream) { g_output.store(stream); }

TiXmlDocument* xml_create(const char* text) {
    auto* document = new TiXmlDocument();
    if (text == nullptr) {
        document->LinkEndChild(new TiXmlDeclaration("1.0", "", ""));
    } else {
        // The parser may look up to three bytes past the end of the text
        // after a UTF-8 lead byte, so it always gets a zero-padded copy.
        std::size_t length = strnlen(text, XML_MAX_PARSE);
        std::string padded(text, length);
        padded.append(4, '\0');
        document->Parse(padded.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
    }
    xml_print_document(document);
    return document;
}

int xml_destroy(TiXmlDocument* document) {
    if (document == nullptr) return -1;
    delete document;
    return 0;
}

const char* xml_split_path(char component[XML_COMPONENT_SIZE], const char* path) {
    const char* dot = std::strchr(path, '.');
    std::size_t length = dot ? static_cast<std::size_t>(dot - path) : std::strlen(path);
    if (length > XML_COMPONENT_SIZE - 1) length = XML_COMPONENT_SIZE - 1;
    std::memcpy(component, path, length);
    component[length] = '\0';
    return dot ? dot + 1 : nullptr;
}

int xml_file_read(TiXmlDocument* document, char* result, int size, const char* path, int mode,
                  const char* attribute) {
    if (document == nullptr || result == nullptr || size <= 0 || path == nullptr) return -1;
    char components[XML_MAX_LEVELS][XML_COMPONENT_SIZE];
    int count = 0;
    if (!split_all("xml_file_read", path, components, &count)) return -1;
    TiXmlElement* element = find_path(document, components, count);
    if (element == nullptr) return -1;
    if (mode == XML_MODE_ATTRIBUTE) {
        const char* value = attribute ? element->Attribute(attribute) : nullptr;
        if (value == nullptr) {
            xml_printf("get attribute [%s]failed!", attribute ? attribute : "");
            return -1;
        }
        copy_bounded(result, size, value);
        return 0;
    }
    const char* text = element->GetText();
    copy_bounded(result, size, text ? text : "");
    return 0;
}

namespace {

TiXmlElement* find_or_make(TiXmlNode* parent, const char* name, bool top) {
    if (TiXmlElement* found = parent->FirstChildElement(name)) return found;
    auto* made = new TiXmlElement(name);
    if (top) {
        xml_printf("create a new node named [%s]\n", name);
    } else {
        xml_printf("new node name %s\n", name);
    }
    parent->LinkEndChild(made);
    return made;
}

void write_text(TiXmlElement* element, const char* value) {
    TiXmlNode* first = element->FirstChild();
    if (first != nullptr && first->ToText() != nullptr) {
        first->SetValue(value);
        return;
    }
    element->LinkEndChild(new TiXmlText(value));
    xml_printf("[WAR]: the first child not found\n");
    const char* text = element->GetText();
    xml_printf("[WAR]: target->GetText() was %s\n", text ? text : "(null)");
}

}  // namespace

int xml_file_write_new(TiXmlDocument* document, const char* value, int /*length*/, const char* path, int mode,
                       const char* attribute) {
    if (document == nullptr || value == nullptr || path == nullptr) return -1;
    char components[XML_MAX_LEVELS][XML_COMPONENT_SIZE];
    int count = 0;
    if (!split_all("xml_file_write_new", path, components, &count)) return -1;
    TiXmlNode* current = document;
    for (int i = 0; i < count; ++i) current = find_or_make(current, components[i], i == 0);
    TiXmlElement* target = current ? current->ToElement() : nullptr;
    if (target == nullptr) {
        xml_printf("[ERROR!]:writer node failed, not find the target node : %s\n", path);
        return -1;
    }
    if (mode == XML_MODE_ATTRIBUTE) {
        if (attribute == nullptr) return -1;
        target->SetAttribute(attribute, value);
    } else {
        write_text(target, value);
    }
    return 0;
}

int xml_export_buffer(TiXmlDocument* document, char* buffer, int size) {
    if (document == nullptr || buffer == nullptr || size <= 0) return -1;
    xml_printf("PRINTF DOCUMENT CONTENT:\n");
    xml_print_document(document);
    TiXmlPrinter printer;
    printer.SetIndent("    ");
    printer.SetLineBreak("\n");
    document->Accept(&printer);
    if (printer.Size() >= static_cast<std::size_t>(size)) return -1;
    std::memcpy(buffer, printer.CStr(), printer.Size() + 1);
    return 0;
}
