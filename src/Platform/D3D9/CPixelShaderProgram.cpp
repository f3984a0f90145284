#include "Platform/D3D9/CPixelShaderProgram.h"

#include <cstring>

namespace {

constexpr DWORD kEndToken = 0x0000FFFF;
constexpr DWORD kCommentToken = 0xFFFE;
constexpr DWORD kConstantTableTag = MAKEFOURCC('C', 'T', 'A', 'B');
constexpr DWORD kSourceTag = MAKEFOURCC('G', 'L', 'S', 'L');
// Longest stream read: a bound for streams without an end token.
constexpr size_t kMaxTokens = 1u << 20;

// Sizes of the compiler's constant-table records.
constexpr size_t kTableHeaderSize = 28;
constexpr size_t kConstantInfoSize = 20;
constexpr size_t kTypeInfoSize = 16;

const char kCreator[] = "OpenGL ES shading language";

void put16(std::vector<BYTE>* bytes, size_t at, uint32_t value) {
    (*bytes)[at] = static_cast<BYTE>(value);
    (*bytes)[at + 1] = static_cast<BYTE>(value >> 8);
}

void put32(std::vector<BYTE>* bytes, size_t at, uint32_t value) {
    put16(bytes, at, value & 0xFFFF);
    put16(bytes, at + 2, value >> 16);
}

uint32_t get16(const BYTE* bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8;
}

uint32_t get32(const BYTE* bytes, size_t at) {
    return get16(bytes, at) | get16(bytes, at + 2) << 16;
}

// Appends a NUL-terminated string and returns its offset.
size_t appendString(std::vector<BYTE>* bytes, const std::string& text) {
    const size_t at = bytes->size();
    bytes->insert(bytes->end(), text.begin(), text.end());
    bytes->push_back(0);
    return at;
}

// A NUL-terminated string inside the table, or false.
bool readString(const BYTE* table, size_t size, size_t at, std::string* text) {
    if (at >= size) {
        return false;
    }
    const void* end = std::memchr(table + at, 0, size - at);
    if (!end) {
        return false;
    }
    text->assign(reinterpret_cast<const char*>(table + at),
                 static_cast<const BYTE*>(end) - (table + at));
    return true;
}

std::string targetName(DWORD version) {
    return "ps_" + std::to_string((version >> 8) & 0xFF) + "_" + std::to_string(version & 0xFF);
}

// Appends a comment block holding tag and bytes (padded to whole tokens).
void appendComment(std::vector<DWORD>* tokens, DWORD tag, const std::vector<BYTE>& bytes) {
    const size_t words = (bytes.size() + 3) / 4;
    tokens->push_back(kCommentToken | static_cast<DWORD>((words + 1) << 16));
    tokens->push_back(tag);
    const size_t start = tokens->size();
    tokens->resize(start + words, 0);
    std::memcpy(&(*tokens)[start], bytes.data(), bytes.size());
}

}  // namespace

CPixelShaderProgram::CPixelShaderProgram() : m_version(0), m_hasConstantTable(false) {}

CPixelShaderProgram::CPixelShaderProgram(DWORD version, const std::vector<Constant>& constants,
                                         const std::string& glsl)
    : m_version(version), m_hasConstantTable(true), m_constants(constants), m_glsl(glsl) {}

std::vector<DWORD> CPixelShaderProgram::tokens() const {
    // Records first, then default values, then strings; offsets are from the
    // start of the table (after its tag).
    const size_t count = m_constants.size();
    const size_t infoAt = kTableHeaderSize;
    const size_t typeAt = infoAt + count * kConstantInfoSize;
    std::vector<BYTE> table(typeAt + count * kTypeInfoSize, 0);
    std::vector<size_t> defaultAt(count, 0);
    for (size_t i = 0; i < count; ++i) {
        const std::vector<float>& value = m_constants[i].defaultValue;
        if (!value.empty()) {
            defaultAt[i] = table.size();
            table.resize(table.size() + value.size() * sizeof(float));
            std::memcpy(&table[defaultAt[i]], value.data(), value.size() * sizeof(float));
        }
    }
    put32(&table, 0, kTableHeaderSize);
    put32(&table, 4, static_cast<uint32_t>(appendString(&table, kCreator)));
    put32(&table, 8, m_version);
    put32(&table, 12, static_cast<uint32_t>(count));
    put32(&table, 16, static_cast<uint32_t>(infoAt));
    put32(&table, 20, 0);
    put32(&table, 24, static_cast<uint32_t>(appendString(&table, targetName(m_version))));
    for (size_t i = 0; i < count; ++i) {
        const Constant& constant = m_constants[i];
        const size_t info = infoAt + i * kConstantInfoSize;
        const size_t type = typeAt + i * kTypeInfoSize;
        put32(&table, info, static_cast<uint32_t>(appendString(&table, constant.name)));
        put16(&table, info + 4, constant.registerSet);
        put16(&table, info + 6, constant.registerIndex);
        put16(&table, info + 8, constant.registerCount);
        put32(&table, info + 12, static_cast<uint32_t>(type));
        put32(&table, info + 16, static_cast<uint32_t>(defaultAt[i]));
        put16(&table, type, constant.parameterClass);
        put16(&table, type + 2, constant.type);
        put16(&table, type + 4, constant.rows);
        put16(&table, type + 6, constant.columns);
        put16(&table, type + 8, 1);  // elements
    }
    std::vector<BYTE> source(m_glsl.begin(), m_glsl.end());
    source.push_back(0);

    std::vector<DWORD> tokens{m_version};
    appendComment(&tokens, kConstantTableTag, table);
    appendComment(&tokens, kSourceTag, source);
    tokens.push_back(kEndToken);
    return tokens;
}

bool CPixelShaderProgram::parse(const DWORD* tokens) {
    *this = CPixelShaderProgram();
    if (!tokens || (tokens[0] & 0xFFFF0000) != 0xFFFF0000) {
        return false;
    }
    CPixelShaderProgram read;
    read.m_version = tokens[0];
    size_t at = 1;
    while (at < kMaxTokens && tokens[at] != kEndToken) {
        if ((tokens[at] & 0xFFFF) != kCommentToken) {
            return false;  // instruction tokens: not a program of this form
        }
        const size_t words = (tokens[at] >> 16) & 0x7FFF;
        if (words >= 1) {
            const BYTE* body = reinterpret_cast<const BYTE*>(&tokens[at + 2]);
            const size_t size = (words - 1) * sizeof(DWORD);
            if (tokens[at + 1] == kConstantTableTag) {
                if (!read.parseConstantTable(body, size)) {
                    return false;
                }
            } else if (tokens[at + 1] == kSourceTag) {
                const void* end = std::memchr(body, 0, size);
                if (!end) {
                    return false;
                }
                read.m_glsl.assign(reinterpret_cast<const char*>(body),
                                   static_cast<const BYTE*>(end) - body);
            }
        }
        at += 1 + words;
    }
    if (at >= kMaxTokens) {
        return false;
    }
    *this = read;
    return true;
}

bool CPixelShaderProgram::parseConstantTable(const BYTE* table, size_t size) {
    if (size < kTableHeaderSize || get32(table, 0) != kTableHeaderSize) {
        return false;
    }
    const size_t count = get32(table, 12);
    const size_t infoAt = get32(table, 16);
    if (count > size / kConstantInfoSize || infoAt > size - count * kConstantInfoSize) {
        return false;
    }
    std::vector<Constant> constants;
    for (size_t i = 0; i < count; ++i) {
        const size_t info = infoAt + i * kConstantInfoSize;
        Constant constant{};
        constant.registerSet = static_cast<D3DXREGISTER_SET>(get16(table, info + 4));
        constant.registerIndex = get16(table, info + 6);
        constant.registerCount = get16(table, info + 8);
        const size_t type = get32(table, info + 12);
        const size_t defaultAt = get32(table, info + 16);
        if (!readString(table, size, get32(table, info), &constant.name) ||
            type > size - kTypeInfoSize) {
            return false;
        }
        constant.parameterClass = static_cast<D3DXPARAMETER_CLASS>(get16(table, type));
        constant.type = static_cast<D3DXPARAMETER_TYPE>(get16(table, type + 2));
        constant.rows = get16(table, type + 4);
        constant.columns = get16(table, type + 6);
        if (defaultAt != 0) {
            const size_t floats = static_cast<size_t>(constant.registerCount) * 4;
            if (defaultAt > size || floats * sizeof(float) > size - defaultAt) {
                return false;
            }
            constant.defaultValue.resize(floats);
            std::memcpy(constant.defaultValue.data(), table + defaultAt, floats * sizeof(float));
        }
        constants.push_back(constant);
    }
    m_constants = constants;
    m_hasConstantTable = true;
    return true;
}
