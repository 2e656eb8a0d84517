// Reads a Parquet file with a reader written apart from this project and prints its rows as
// one JSON array: node read_parquet.mjs duckdb|hyparquet FILE. DuckDB gives decimals as exact
// text and the column types as it reads them (a first line "types"); hyparquet gives
// decimals as the nearest double, 64-bit integers as text.
import process from 'node:process';

const [reader, file] = process.argv.slice(2);
const bigints = (_, v) => (typeof v === 'bigint' ? v.toString() : v);

if (reader === 'duckdb') {
  const { DuckDBInstance } = await import('@duckdb/node-api');
  const instance = await DuckDBInstance.create(':memory:');
  const connection = await instance.connect();
  const quoted = file.replaceAll("'", "''");
  const types = await connection.runAndReadAll(`DESCRIBE SELECT * FROM read_parquet('${quoted}')`);
  const rows = await connection.runAndReadAll(`SELECT * FROM read_parquet('${quoted}')`);
  process.stdout.write(
    JSON.stringify({ types: types.getRowObjectsJson(), rows: rows.getRowObjectsJson() }, bigints));
} else {
  const { parquetReadObjects, asyncBufferFromFile } = await import('hyparquet');
  const { compressors } = await import('hyparquet-compressors');
  const rows = await parquetReadObjects({ file: await asyncBufferFromFile(file), compressors });
  process.stdout.write(JSON.stringify({ rows }, bigints));
}
