      * Level 88 before a group's members and at the top of a copybook.
           88  TOP-FLAG        VALUE 'Y'.
           05  FLAGS.
               88  FLAGS-OFF   VALUE SPACES.
               10  FLAG-1      PIC X.
                   88  FLAG-1-ON VALUE 'Y'.
               10  FLAG-2      PIC X.
