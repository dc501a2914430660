C     EIGHT NESTED BLOCK IFS AND LONG STATEMENTS
      SUBROUTINE DEEP(A, B, C, D, E, F, G, H, RESULT)
      INTEGER A, B, C, D, E, F, G, H, RESULT
      RESULT = 0
      IF (A .GT. 0) THEN
      IF (B .GT. 0) THEN
      IF (C .GT. 0) THEN
      IF (D .GT. 0) THEN
      IF (E .GT. 0) THEN
      IF (F .GT. 0) THEN
      IF (G .GT. 0) THEN
      IF (H .GT. 0) THEN
      RESULT = A + B + C + D + E + F + G + H + A*B + C*D + E*F + G*H + 1
      RESULT = RESULT + A*B*C*D*E*F*G*H - (A+B+C+D+E+F+G+H)*(A-B+C-D)
      ELSE
      RESULT = -1
      END IF
      END IF
      END IF
      END IF
      END IF
      END IF
      END IF
      END IF
      RETURN
      END
C
      INTEGER FUNCTION ISIGN3(K)
      INTEGER K
      IF (K) 10, 20, 30
   10 ISIGN3 = -1
      RETURN
   20 ISIGN3 = 0
      RETURN
   30 ISIGN3 = 1
      END
