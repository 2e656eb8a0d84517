#pragma once
// Picture strings: normalised storage, category bits and the analysed property table.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

// The largest repetition factor, picture size (character positions) and
// OCCURS bound accepted. IBM Enterprise COBOL takes items of up to 999 999 999
// bytes, and GnuCOBOL no repetition factor of more than nine digits; larger
// ones are errors rather than numbers that wrap in 32 bits.
inline constexpr std::int64_t vexCblLargestSize = 999'999'999;

// Category of a data item as a bit set. Picture analysis yields exactly one
// of Alphabetic, Numeric and Alphanumeric, possibly with Edited; Group is
// set only by the declaration traversal. The numbers are part of the
// contract.
enum class VexCblType : std::int32_t {
  None = 0,
  Group = 0x001,
  Alphabetic = 0x002,
  Numeric = 0x004,
  Alphanumeric = 0x008,
  Edited = 0x100,
};

constexpr VexCblType operator|(VexCblType a, VexCblType b) {
  return static_cast<VexCblType>(static_cast<std::int32_t>(a) | static_cast<std::int32_t>(b));
}
constexpr VexCblType operator&(VexCblType a, VexCblType b) {
  return static_cast<VexCblType>(static_cast<std::int32_t>(a) & static_cast<std::int32_t>(b));
}
// True when `category` has any of the bits of `bits`.
constexpr bool vexCblTypeHas(VexCblType category, VexCblType bits) {
  return (category & bits) != VexCblType::None;
}

// The properties of an analysed picture. Every key is present; keys not
// touched by the analysis hold 0.
class VexCblPicProps {
public:
  enum Property {
    SIZE = 0, // character positions described
    TYPE = 1, // category, a VexCblType bit set
    DBCS = 2, // 1 when the picture has G or N
    S = 3,    // count of S symbols, repetition counts not applied
    P = 4,    // P positions
    E = 5,    // 1 when the picture has E
    DigitsAfterV =
        6,      // 9 positions after the implied point; with -compat 300 also the P positions there
    Digits = 7, // 9 positions
  };
  // One value per Property, indexed by it: all eight keys are present from
  // the start, so a fixed array serves where a node-based map made eight
  // allocations for every analysed picture.
  class PropMap {
  public:
    std::int32_t &operator[](Property key) { return m_values[key]; }
    std::int32_t operator[](Property key) const { return m_values[key]; }
    std::int32_t at(Property key) const { return m_values.at(key); }

  private:
    std::array<std::int32_t, Digits + 1> m_values{};
  };
  // The limit (vexCblLargestSize) a picture goes past: a repetition factor,
  // else the size. The counts of such a picture are capped at INT32_MAX.
  enum class Excess { None, RepetitionFactor, Size };

  // All eight properties 0.
  VexCblPicProps() = default;
  PropMap &props() { return m_props; }
  const PropMap &props() const { return m_props; }

  Excess excess = Excess::None;

private:
  PropMap m_props;
};

// The repetition factor written at `pos` of a normalised picture: n for
// "(n)", moving `pos` past the ")", else 1. Digits past any limit give a
// capped number above vexCblLargestSize, never a wrapped one.
std::int64_t vexCblRepetitionAt(const std::string &picture, std::size_t &pos);

// True when the normalised `picture` has a boolean position (the symbol 1
// outside a repetition factor, as in PIC 1(8)), which COBOL 2002 and
// GnuCOBOL give one character each and IBM's compilers refuse.
bool vexCblIsBooleanPicture(const std::string &picture);

struct VexCblConfig;

// The character-string of a PICTURE clause, normalised when stored and
// analysed once on first demand, under the conversion options it was made
// with.
class VexCblPicture {
public:
  // Stores `picture` (null is taken as empty) as setPictureVal does, to be
  // read under `options` (-c and -compat; only those two are kept).
  VexCblPicture(const char *picture, const VexCblConfig &options);

  // Replaces the picture string and discards the analysis. Under the
  // option commaDecimalPoint "," and "." are exchanged, so that the
  // converter always sees "." as the decimal point; the symbol letters
  // ABPSVXZCRDEGN are stored in upper case; every other character unchanged.
  void setPictureVal(const char *picture);
  // The normalised picture string.
  const std::string &getPictureVal() const { return m_picture; }

  // Analyses the picture unless that has been done. False only when the
  // picture is empty (no table is created then).
  bool analyze() { return m_props ? true : analyzeAnew(); }
  // The SIZE property after analysing; 0 for an empty picture.
  int size();
  // The TYPE property after analysing; None for an empty picture.
  VexCblType type();
  // The limit the picture goes past after analysing; None for an empty one.
  VexCblPicProps::Excess excess();
  // The property table as it stands, without analysing: null until size(),
  // type() or analyze() has run on a non-empty picture.
  VexCblPicProps *picProps() { return m_props ? &*m_props : nullptr; }
  // Discards the property table.
  void reset();

private:
  // analyze() without a table: an entry asks for its picture's size, type
  // and limits several times, and a call each to learn it is done added up.
  bool analyzeAnew();
  std::string m_picture;
  std::optional<VexCblPicProps> m_props;
  bool m_commaDecimalPoint;
  bool m_compat300;
};
