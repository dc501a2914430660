! options: no-separators no-indent-else remove-blank-lines
C     Fixed-form program with labelled loops
      PROGRAM TABLE
      INTEGER I, J, K

      DO 100 I = 1, 3
        DO 100 J = 1, 3
          K = I * J
          IF (K .GT. 4) THEN
            WRITE (*, 900) I, J, K
          ELSE
            K = 0
          ENDIF
  100 CONTINUE
      DO 200, I = 1, 2
        WRITE (*, *) 'I =    ', I
  200 CONTINUE
  900 FORMAT (3I5)
      STOP
      END
