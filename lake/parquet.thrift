// The part of the Parquet file metadata this project writes: the footer (FileMetaData) and the
// header before each page (PageHeader), in the compact protocol. Field numbers and enum values
// are those of the Parquet format; only the members this writer sets are declared, which
// readers accept since Thrift readers skip what they do not know and the writer never sends
// what is not declared.
namespace cpp parquet

enum Type {
  BOOLEAN = 0;
  INT32 = 1;
  INT64 = 2;
  INT96 = 3;
  FLOAT = 4;
  DOUBLE = 5;
  BYTE_ARRAY = 6;
  FIXED_LEN_BYTE_ARRAY = 7;
}

// The older annotations, still written beside the logical types for old readers.
enum ConvertedType {
  UTF8 = 0;
  LIST = 3;
  DECIMAL = 5;
  INT_16 = 16;
  INT_32 = 17;
  INT_64 = 18;
}

enum FieldRepetitionType {
  REQUIRED = 0;
  OPTIONAL = 1;
  REPEATED = 2;
}

enum Encoding {
  PLAIN = 0;
  RLE = 3;
}

enum CompressionCodec {
  UNCOMPRESSED = 0;
  SNAPPY = 1;
  ZSTD = 6;
}

enum PageType {
  DATA_PAGE = 0;
}

struct Statistics {
  3: optional i64 null_count;
  5: optional binary max_value;
  6: optional binary min_value;
  9: optional i64 nan_count;
}

struct StringType {}
struct ListType {}
struct DecimalType {
  1: required i32 scale
  2: required i32 precision
}
struct IntType {
  1: required i8 bitWidth
  2: required bool isSigned
}

union LogicalType {
  1: StringType STRING
  3: ListType LIST
  5: DecimalType DECIMAL
  10: IntType INTEGER
}

struct SchemaElement {
  1: optional Type type;
  2: optional i32 type_length;
  3: optional FieldRepetitionType repetition_type;
  4: required string name;
  5: optional i32 num_children;
  6: optional ConvertedType converted_type;
  7: optional i32 scale
  8: optional i32 precision
  10: optional LogicalType logicalType
}

struct DataPageHeader {
  1: required i32 num_values
  2: required Encoding encoding
  3: required Encoding definition_level_encoding;
  4: required Encoding repetition_level_encoding;
}

struct PageHeader {
  1: required PageType type
  2: required i32 uncompressed_page_size
  3: required i32 compressed_page_size
  5: optional DataPageHeader data_page_header;
}

struct KeyValue {
  1: required string key
  2: optional string value
}

struct ColumnMetaData {
  1: required Type type
  2: required list<Encoding> encodings
  3: required list<string> path_in_schema
  4: required CompressionCodec codec
  5: required i64 num_values
  6: required i64 total_uncompressed_size
  7: required i64 total_compressed_size
  9: required i64 data_page_offset
  12: optional Statistics statistics;
}

struct ColumnChunk {
  2: required i64 file_offset = 0
  3: optional ColumnMetaData meta_data
}

struct RowGroup {
  1: required list<ColumnChunk> columns
  2: required i64 total_byte_size
  3: required i64 num_rows
  5: optional i64 file_offset
  6: optional i64 total_compressed_size
}

// Min and max values follow the order of the column's logical or physical type.
struct TypeDefinedOrder {}
union ColumnOrder {
  1: TypeDefinedOrder TYPE_ORDER;
}

struct FileMetaData {
  1: required i32 version
  2: required list<SchemaElement> schema;
  3: required i64 num_rows
  4: required list<RowGroup> row_groups
  5: optional list<KeyValue> key_value_metadata
  6: optional string created_by
  7: optional list<ColumnOrder> column_orders;
}
