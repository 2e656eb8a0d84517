CREATE TABLE "HDR-REC" (
  "record_number" BIGINT NOT NULL,
  "REC-TYPE" CHAR(1),
  "BATCH-ID" INTEGER,
  "BATCH-DATE" CHAR(8),
  PRIMARY KEY ("record_number")
);
CREATE TABLE "DTL-REC" (
  "record_number" BIGINT NOT NULL,
  "REC-TYPE" CHAR(1),
  "ACCT" CHAR(10),
  "PAY-KIND" CHAR(1),
  "PAY-CARD.CARD-NO" BIGINT,
  "PAY-CARD.CARD-EXP" SMALLINT,
  "PAY-BANK.IBAN" CHAR(20),
  "N-AMT" SMALLINT,
  "RATE" DOUBLE PRECISION,
  PRIMARY KEY ("record_number")
);
CREATE TABLE "DTL-REC.AMT" (
  "record_number" BIGINT NOT NULL,
  "occurrence1" INTEGER NOT NULL,
  "AMT" DECIMAL(13,2),
  PRIMARY KEY ("record_number", "occurrence1"),
  FOREIGN KEY ("record_number") REFERENCES "DTL-REC" ("record_number")
);
