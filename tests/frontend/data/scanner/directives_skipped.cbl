       PROCESS NOSEQ
      $SET SOURCEFORMAT
       TITLE 'X' 01 Y.
       EJECT SKIP1 SKIP2 SKIP3 01 Z.
      * options after a comment and between entries
 CBL XOPTS(APOST)
       01 W.
       PROCESS NOSEQ
       01
       CBL.
