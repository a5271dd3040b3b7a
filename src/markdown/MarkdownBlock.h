#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

// One block of a message text: the five kinds the chat renders, in declaration order.
struct MarkdownBlock
{
    // The paragraph's lines joined with single spaces.
    struct Paragraph
    {
        std::string text;

        friend bool operator==(const Paragraph &, const Paragraph &) = default;
    };

    // The code lines joined with "\n"; the language is the trimmed info string, absent when empty.
    struct CodeBlock
    {
        std::string code;
        std::optional<std::string> language;

        friend bool operator==(const CodeBlock &, const CodeBlock &) = default;
    };

    // Header cells and data rows, already split into cell texts.
    struct Table
    {
        std::vector<std::string> headers;
        std::vector<std::vector<std::string>> rows;

        friend bool operator==(const Table &, const Table &) = default;
    };

    // Item texts without their marker.
    struct BulletList
    {
        std::vector<std::string> items;

        friend bool operator==(const BulletList &, const BulletList &) = default;
    };

    // Item texts without their number; the list always counts from 1.
    struct NumberedList
    {
        std::vector<std::string> items;

        friend bool operator==(const NumberedList &, const NumberedList &) = default;
    };

    using Kind = std::variant<Paragraph, CodeBlock, Table, BulletList, NumberedList>;

    Kind kind;

    friend bool operator==(const MarkdownBlock &, const MarkdownBlock &) = default;
};
