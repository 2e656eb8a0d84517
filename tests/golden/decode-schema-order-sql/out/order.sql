CREATE TABLE "ORDER-REC" (
  "record_number" BIGINT NOT NULL,
  "ORD-ID" INTEGER,
  "ORD-STATUS" CHAR(1),
  "ORD-AMOUNT" DECIMAL(9,2),
  "ORD-LINES" SMALLINT,
  PRIMARY KEY ("record_number")
);
CREATE TABLE "ORDER-REC.ORD-LINE" (
  "record_number" BIGINT NOT NULL,
  "occurrence1" INTEGER NOT NULL,
  "LINE-ITEM" CHAR(12),
  "LINE-PRICE" DECIMAL(7,2),
  PRIMARY KEY ("record_number", "occurrence1"),
  FOREIGN KEY ("record_number") REFERENCES "ORDER-REC" ("record_number")
);
