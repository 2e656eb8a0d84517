           VALUE 'ABC
