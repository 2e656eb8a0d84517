CREATE TABLE "CUSTOMER" (
  "record_number" BIGINT NOT NULL,
  "_segment" VARCHAR(8),
  "_parent" BIGINT,
  "C-SEG" CHAR(1),
  "C-ID" SMALLINT,
  "C-NAME" CHAR(10),
  PRIMARY KEY ("record_number")
);
CREATE TABLE "ACCOUNT" (
  "record_number" BIGINT NOT NULL,
  "_segment" VARCHAR(8),
  "_parent" BIGINT,
  "A-SEG" CHAR(1),
  "A-NO" CHAR(8),
  "A-BAL" DECIMAL(9,2),
  PRIMARY KEY ("record_number"),
  FOREIGN KEY ("_parent") REFERENCES "CUSTOMER" ("record_number")
);
CREATE TABLE "TXN" (
  "record_number" BIGINT NOT NULL,
  "_segment" VARCHAR(8),
  "_parent" BIGINT,
  "T-SEG" CHAR(1),
  "T-DATE" INTEGER,
  "T-AMT" DECIMAL(7,2),
  "T-KIND" CHAR(1),
  PRIMARY KEY ("record_number"),
  FOREIGN KEY ("_parent") REFERENCES "ACCOUNT" ("record_number")
);
