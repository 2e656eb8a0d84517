#pragma once
// Picture strings parsed once: the symbols as written with their repeat counts, the category,
// size, digits, scale and sign, and the edit pattern that checking and formatting text both read.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The category of a data item. A picture alone gives alphabetic,
// alphanumeric, alphanumericEdited, numeric, numericEdited,
// externalFloatingPoint, dbcs or national; the record model adds the others
// from the USAGE and the entry's members.
enum class Category : std::uint8_t {
  group,
  alphabetic,
  alphanumeric,
  alphanumericEdited,
  numeric,
  numericEdited,
  national,
  dbcs,
  floatingPoint,         // COMP-1, COMP-2 and their -lenient names
  externalFloatingPoint, // a picture with E
  pointer,               // POINTER, PROCEDURE-, FUNCTION-, PROGRAM-POINTER, OBJECT REFERENCE
  index,
  none, // a usage the layout has no storage for
};

// One picture symbol, by what it stands for. The currency symbol is "$".
enum class PictureSymbol : std::uint8_t {
  nine,         // 9
  letter,       // A
  character,    // X
  dbcs,         // G
  national,     // N
  sign,         // S
  assumedPoint, // V
  scaling,      // P
  exponent,     // E
  zero,         // Z
  asterisk,     // *
  plus,         // +
  minus,        // -
  currency,     // $
  credit,       // CR
  debit,        // DB
  period,       // .
  comma,        // ,
  slash,        // /
  zeroInsert,   // 0
  space,        // B
  boolean,      // 1: a boolean position, read under -lenient as one character
  other,        // any other character: no position, no meaning
};

// A symbol as written: its spelling ("x", "CR", "9") and how often it
// stands, either written that many times ("999") or once with a repetition
// factor ("9(05)": `factor` holds "(05)", parentheses included, as written).
struct PictureRun {
  PictureSymbol symbol = PictureSymbol::other;
  std::string spelling;
  std::int64_t count = 1;
  std::string factor; // empty: the spelling is written `count` times
};

// What an element of an edit pattern does with its positions.
enum class EditKind : std::uint8_t {
  digit,             // 9: a digit, always shown
  zeroSuppression,   // Z or *: a digit, a blank or "*" while only zeros came before it
  floatingInsertion, // $, + or - written twice or more: the first position holds the
                     // symbol only, every other one a digit or the floating symbol
  fixedInsertion,    // $, + or - alone at either end, CR, DB: the symbol in its place
  simpleInsertion,   // B, 0, / and the grouping comma, inserted as they are
  decimalPoint,      // the actual decimal point ("." or, with a comma for it, ",")
  assumedPoint,      // V: a decimal point that takes no position
  scaling,           // P: an assumed digit position that takes no storage
  sign,              // S of an external floating-point picture (not shown)
  exponent,          // E: the exponent follows
  character,         // A, X, G or N: any character of its kind
};

// `count` positions (consecutive symbols of one kind) of an edit pattern.
struct EditElement {
  EditKind kind = EditKind::character;
  PictureSymbol symbol = PictureSymbol::other;
  std::int64_t count = 1;
};

// The sign a picture carries, if any.
enum class PictureSign : std::uint8_t {
  none,
  s,      // S: the item is signed; the SIGN clause says where
  plus,   // + inserted: "+" or "-"
  minus,  // - inserted: blank or "-"
  credit, // CR: blanks or "CR"
  debit,  // DB: blanks or "DB"
};

// A picture string, parsed.
struct ParsedPicture {
  std::vector<PictureRun> runs; // in written order; together they are the string
  bool decimalPointIsComma = false;
  Category category = Category::alphanumeric;
  // Character positions, counted as the converter counts them (S, V, P and
  // any unknown character take none, CR and DB two); past any limit the
  // count stays capped at 2^40.
  std::int64_t size = 0;
  // A repetition factor or the size went past vexCblLargestSize.
  bool tooLarge = false;
  // Digit positions: the 9s of a numeric picture; of an edited one also Z, *
  // and the floating positions after each floating string's first; of an
  // external floating-point one those of the mantissa.
  std::int64_t digits = 0;
  // Decimal places the digits stand for: digit positions right of V or the
  // decimal point, plus the P positions left of the digits; minus the P
  // positions when they stand right of the digits ("99PPP": -3).
  std::int64_t scale = 0;
  std::int64_t scalingPositions = 0; // P
  PictureSign sign = PictureSign::none;
  bool signLeading = false; // the edit sign stands left of the digits
  // Numeric-edited, alphanumeric-edited (also with G or N), external
  // floating point: the positions in order, same kinds merged. Empty for
  // every other category.
  std::vector<EditElement> edit;
};

// Parses `text` (a PICTURE character-string as written, any letter case),
// `comma` when the decimal point is a comma (-c, DECIMAL-POINT IS COMMA).
// Never fails: a character that is no picture symbol becomes an `other`
// run, which takes no position.
ParsedPicture parsePicture(std::string_view text, bool comma = false);

// The picture string as written, made from the runs alone.
std::string pictureText(const ParsedPicture &picture);

// The picture string as the layout shows it: symbol letters in upper case,
// and "." always the decimal point (the two marks exchanged when a comma is
// the decimal point).
std::string pictureDisplayText(const ParsedPicture &picture);
