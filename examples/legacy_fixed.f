C     A fixed-form routine: columns 1-6 are labels and continuation
C     marks, so re-indenting can break it. Formatting it asks first.
      SUBROUTINE SUMUP(N, X, TOTAL)
      INTEGER N, I
      REAL X(N), TOTAL
      TOTAL = 0.0
      DO 100 I = 1, N
         TOTAL = TOTAL +
     &           X(I)
  100 CONTINUE
      RETURN
      END
