#ifndef RESPONSETYPES_H
#define RESPONSETYPES_H

// The plain records of the response model: what one expected answer looks
// like (the *Spec records) and one answer (the value records). They carry no
// behaviour, so they share this header instead of one header each. The first
// field of every record is its kind.

#include <QString>

#include <cstdint>

struct _EnumResponseMainType
{
    enum MainType : int32_t {
        TypeYesNo = 0,
        TypeSingleSelect = 1,
        TypeMultiSelect = 2,
        TypeString = 3,
        TypeCompound = 4,
        TypeNone = 5
    };
};

// The sub-type values belong to the clients: any int32 is stored and handed
// back unchanged. -1 in a record returned by a getter means that there is no
// entry of that kind at the index asked for.
struct _EnumResponseSelectSubType
{
    enum SubType : int32_t {};
};

struct ResponseYNSpec
{
    enum SubType : int32_t {};

    _EnumResponseMainType::MainType type = _EnumResponseMainType::TypeYesNo;
    SubType subType = SubType(0);
};

struct ResponseSingleSelectSpec
{
    _EnumResponseMainType::MainType type = _EnumResponseMainType::TypeSingleSelect;
    int32_t reserved = 0;
    _EnumResponseSelectSubType::SubType subType = _EnumResponseSelectSubType::SubType(0);
    uint32_t choiceCount = 0;
};

struct ResponseMultiSelectSpec
{
    _EnumResponseMainType::MainType type = _EnumResponseMainType::TypeMultiSelect;
    int32_t reserved = 0;
    _EnumResponseSelectSubType::SubType subType = _EnumResponseSelectSubType::SubType(0);
    uint32_t choiceCount = 0;
};

struct ResponseStringSpec
{
    enum SubType : int32_t {};

    _EnumResponseMainType::MainType type = _EnumResponseMainType::TypeString;
    SubType subType = SubType(0);
    int32_t stringParam = 0;
};

struct ResponseYN
{
    _EnumResponseMainType::MainType type = _EnumResponseMainType::TypeYesNo;
    int32_t answer = 0;
};

struct ResponseSingleSelect
{
    _EnumResponseMainType::MainType type = _EnumResponseMainType::TypeSingleSelect;
    int32_t choice = 0;
};

// choices is a bit set: one bit per chosen item.
struct ResponseMultiSelect
{
    _EnumResponseMainType::MainType type = _EnumResponseMainType::TypeMultiSelect;
    uint32_t choices = 0;
};

struct ResponseString
{
    _EnumResponseMainType::MainType type = _EnumResponseMainType::TypeString;
    QString text;
};

#endif // RESPONSETYPES_H
