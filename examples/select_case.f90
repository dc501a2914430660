subroutine grade(score, letter)
integer, intent(in) :: score
character, intent(out) :: letter
select case (score)
case (90:)
letter = 'A'
case (75:89)
letter = 'B'
case (60:74)
letter = 'C'
case default
letter = 'F'
end select
end subroutine grade

program report
implicit none
integer :: scores(4) = (/ 95, 80, 61, 12 /)
character :: g
integer :: k
do k = 1, size(scores)
call grade(scores(k), g)
write (*, '(a,i3,a,a)') 'score', scores(k), '    grade    ', g
end do
end program report
